// The API for ES modules: import {report, createReportStream, inspect, decode} from 'quillfen'.
import api from './index.js';

export const {report, createReportStream, inspect, decode} = api;
export default api;
