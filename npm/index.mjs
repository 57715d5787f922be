// The API for ES modules: import {report, createReportStream, inspect, decode, compare} from
// 'quillfen'.
import api from './index.js';

export const {report, createReportStream, inspect, decode, compare} = api;
export default api;
