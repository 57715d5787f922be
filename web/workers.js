// The worker client: the site's script and core fetched once, workers started, requests numbered.

// What the site serves besides the page itself; fetched once, when the page loads.
const kWorkerScript = 'worker.js';
const kCoreModule = 'quillfen.wasm';

async function fetchOk(name, read) {
  let response;
  try {
    response = await fetch(name);
  } catch (error) {
    throw new Error(`${name}: ${error.message}`, {cause: error});
  }
  if (!response.ok) throw new Error(`${name}: ${response.status}`);
  return read(response);
}

// The workers' script as a blob URL and the compiled core: after this, starting a worker makes
// no request. Throws an Error that names the file and what went wrong with it.
export async function loadSite() {
  const [script, wasm] = await Promise.all([
    fetchOk(kWorkerScript, (response) => response.blob()),
    fetchOk(kCoreModule, (response) => response.arrayBuffer()),
  ]);
  let module;
  try {
    module = await WebAssembly.compile(wasm);
  } catch (error) {
    throw new Error(`${kCoreModule}: ${error.message}`, {cause: error});
  }
  return {workerUrl: URL.createObjectURL(script), module};
}

// One worker at a time, replaced by a fresh one to stop whatever it does. Messages from a
// worker that has been replaced are dropped; onMessage(data) hears the current one, and
// onFailure(message) learns that it stopped on an error of its own.
export class WorkerClient {
  constructor(url, {onMessage, onFailure, init = null}) {
    this.url = url;
    this.onMessage = onMessage;
    this.onFailure = onFailure;
    this.init = init;
    this.worker = null;
    this.lastId = 0;
  }

  // Starts a fresh worker; resolves once it is ready (at once when it needs no init), rejects
  // with its error when it cannot start.
  start() {
    this.stop();
    const started = new Worker(this.url);
    this.worker = started;
    return new Promise((resolve, reject) => {
      let ready = this.init === null;
      started.onmessage = ({data}) => {
        if (started !== this.worker) return;
        if (!ready) {
          if (data.type === 'ready') {
            ready = true;
            resolve();
          } else if (data.type === 'failed') {
            this.stop();
            reject(new Error(data.message));
          }
          return;
        }
        this.onMessage(data);
      };
      started.onerror = (event) => {
        event.preventDefault();
        if (started !== this.worker) return;
        const message = event.message || 'the worker stopped';
        this.stop();
        if (ready) this.onFailure(message);
        else reject(new Error(message));
      };
      if (ready) resolve();
      else started.postMessage(this.init);
    });
  }

  stop() {
    this.worker?.terminate();
    this.worker = null;
  }

  // The id the next request will have.
  get nextId() {
    return this.lastId + 1;
  }

  // Sends a request to the current worker; returns its id, which every answer repeats.
  request(message, transfer = []) {
    this.lastId += 1;
    this.worker.postMessage({...message, id: this.lastId}, transfer);
    return this.lastId;
  }
}
