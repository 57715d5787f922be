// The API for ES modules: import {report, createReportStream} from 'quillfen'.
import api from './index.js';

export const {report, createReportStream} = api;
export default api;
