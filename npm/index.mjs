// The API for ES modules: import {report} from 'quillfen'.
import api from './index.js';

export const {report} = api;
export default api;
