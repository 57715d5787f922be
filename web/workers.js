// The worker client: the site's script and core fetched once; requests as promises that cancel.

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

// Is error what a request rejects with when it was cancelled?
export const isAbort = (error) => error?.name === 'AbortError';

// One worker at a time, and every request to it. request(message, options) posts message and
// returns a promise of its answer; the worker posts {type: 'running', id, holding} when it
// begins a request, any number of events, then {type: 'answer', id, answer} or
// {type: 'failed', id, message}, after which it is spent and a fresh one takes its place.
//
// A request stops when its signal aborts, or when a newer request takes its lane: its promise
// rejects at once with the abort's reason, and the worker drops it if it has not begun it. One
// it has begun runs to its end unheard, or, where whenRunning says so, the worker is replaced
// by a fresh one: 'restart' always, 'restart-unless-holding' unless the worker holds a file's
// bytes that would have to be read again. Requests it had not begun go to the fresh worker.
export class WorkerClient {
  // init: the message that readies a fresh worker, answered by {type: 'ready'}, or null;
  // standby: keep a fresh worker ready beside the one in use, started while no request is in
  // flight, so that one stopped is replaced at once. onBroken(error): a fresh worker, started
  // in place of one that failed or was stopped, could not start; every request in flight has
  // failed.
  constructor(url, {init = null, standby = false, onBroken = () => {}} = {}) {
    this.url = url;
    this.init = init;
    this.standby = standby;
    this.onBroken = onBroken;
    this.worker = null;
    this.spare = null;  // the worker on standby: {worker, ready, failed}
    this.lastId = 0;
    this.requests = new Map();  // id -> request in flight
    this.lanes = new Map();  // lane -> id of its latest request
  }

  // Starts a fresh worker in place of any other; resolves once it is ready, rejects with its
  // error when it cannot start. Requests in flight and not begun are sent to it again.
  start() {
    return this.use(this.spawn(this.init));
  }

  // A fresh worker, readied by init; until it is in use it only says whether it is ready.
  spawn(init) {
    const worker = new Worker(this.url);
    const spawned = {worker, ready: init === null, failed: null};
    worker.onmessage = ({data}) => {
      if (worker === this.worker) this.hear(data);
      else if (data.type === 'ready') spawned.ready = true;
      else if (data.type === 'failed') spawned.failed = new Error(data.message);
    };
    worker.onerror = (event) => {
      event.preventDefault();
      const error = new Error(event.message || 'the worker stopped');
      if (worker !== this.worker) spawned.failed = error;
      else if (this.isReady) this.lose(error);
      else this.notReady(error);
    };
    if (init !== null) worker.postMessage(init);
    return spawned;
  }

  // Puts a spawned worker in place of the current one; once it is ready and idle, another
  // stands by.
  use(spawned) {
    this.worker?.terminate();
    this.worker = spawned.worker;
    this.isReady = spawned.ready;
    const ready = new Promise((resolve, reject) => {
      this.whenReady = {resolve, reject};
    });
    if (spawned.failed !== null) {
      this.notReady(spawned.failed);
      return ready;
    }
    if (this.isReady) this.whenReady.resolve();
    for (const request of this.requests.values()) this.post(request);
    return ready.then(() => this.standBy());
  }

  // Starts the worker that stands by, if there is to be one and none is, once nothing is in
  // flight: its start takes nothing from the work under way.
  standBy() {
    if (this.standby && this.spare === null && this.worker !== null && this.isReady &&
        this.requests.size === 0) {
      this.spare = this.spawn(this.init);
    }
  }

  stop() {
    this.worker?.terminate();
    this.spare?.worker.terminate();
    this.worker = null;
    this.spare = null;
  }

  // options: signal (an AbortSignal), lane (a name: a newer request of the same lane stops
  // this one), onEvent(message) for what the worker posts before its answer, transfer (the
  // message's transferables), whenRunning ('finish', 'restart' or 'restart-unless-holding').
  request(message, {signal = null, lane = null, onEvent = null, transfer = [],
                    whenRunning = 'finish'} = {}) {
    if (signal?.aborted) return Promise.reject(signal.reason);
    if (this.worker === null) return Promise.reject(new Error('the worker is not running'));
    if (lane !== null) {
      this.abort(this.lanes.get(lane), new DOMException('a newer request took its place',
                                                        'AbortError'));
    }
    this.lastId += 1;
    const id = this.lastId;
    return new Promise((resolve, reject) => {
      const request = {id, message, transfer, onEvent, whenRunning, resolve, reject, signal,
                       onAbort: null};
      this.requests.set(id, request);
      if (lane !== null) this.lanes.set(lane, id);
      if (signal !== null) {
        request.onAbort = () => this.abort(id, signal.reason);
        signal.addEventListener('abort', request.onAbort, {once: true});
      }
      this.post(request);
    });
  }

  // Sends a request, not yet begun, to the current worker.
  post(request) {
    request.running = false;
    this.worker.postMessage({...request.message, id: request.id}, request.transfer);
  }

  // The request leaves the client: nothing more of it is heard, and its signal lets go of it.
  settle(request) {
    this.requests.delete(request.id);
    request.signal?.removeEventListener('abort', request.onAbort);
    queueMicrotask(() => this.standBy());
  }

  abort(id, reason) {
    const request = this.requests.get(id);
    if (request === undefined) return;
    this.settle(request);
    request.reject(reason);
    const {running, holding, whenRunning} = request;
    if (running && (whenRunning === 'restart' ||
                    (whenRunning === 'restart-unless-holding' && !holding))) {
      this.restart();
    } else {
      // The worker drops it if it has not begun it.
      this.worker?.postMessage({type: 'cancel', id});
    }
  }

  hear(data) {
    if (data.type === 'ready') {
      this.isReady = true;
      this.whenReady.resolve();
      return;
    }
    if (data.type === 'failed' && data.id === null) {
      this.notReady(new Error(data.message));
      return;
    }
    const request = this.requests.get(data.id);
    if (request === undefined) return;
    switch (data.type) {
      case 'running':
        request.running = true;
        request.holding = data.holding === true;
        break;
      case 'answer':
        this.settle(request);
        request.resolve(data.answer);
        break;
      case 'failed':
        this.settle(request);
        request.reject(new Error(data.message));
        this.restart();
        break;
      default:
        request.onEvent?.(data);
    }
  }

  // The worker died: what it was running failed with error; the rest go to a fresh worker.
  lose(error) {
    for (const request of [...this.requests.values()]) {
      if (request.running || request.transfer.length > 0) {
        this.settle(request);
        request.reject(error);
      }
    }
    this.restart();
  }

  // A fresh worker in place of this one, the one standing by if there is one; requests not
  // begun go to it.
  restart() {
    for (const request of [...this.requests.values()]) {
      if (request.transfer.length > 0) {
        this.settle(request);
        request.reject(new Error('the worker was replaced before it took the request'));
      }
    }
    const fresh = this.spare ?? this.spawn(this.init);
    this.spare = null;
    this.use(fresh).catch((error) => this.onBroken(error));
  }

  // The worker could not start: no other is tried, and every request fails.
  notReady(error) {
    this.stop();
    for (const request of [...this.requests.values()]) {
      this.settle(request);
      request.reject(error);
    }
    this.whenReady.reject(error);
  }
}
