// The worker client against a worker played here: answers, events, lanes, cancels, restarts.
import assert from 'node:assert/strict';
import {afterEach, beforeEach, describe, test} from 'node:test';

import {isAbort, WorkerClient} from '../../../web/workers.js';

test('an abort is told from other failures', () => {
  assert.equal(isAbort(new DOMException('gone', 'AbortError')), true);
  assert.equal(isAbort(new Error('the file changed')), false);
  assert.equal(isAbort(undefined), false);
});

// A worker that records what it is sent and answers as the test says; every one started is
// kept, newest last.
let started;
class FakeWorker {
  constructor(url) {
    this.url = url;
    this.sent = [];
    this.terminated = false;
    started.push(this);
  }

  postMessage(message) {
    this.sent.push(message);
  }

  terminate() {
    this.terminated = true;
  }

  // Posts to the page, as a worker does.
  say(data) {
    this.onmessage({data});
  }

  // The requests sent, as [type, id].
  get requests() {
    return this.sent.map(({type, id}) => [type, id]);
  }
}

beforeEach(() => {
  started = [];
  globalThis.Worker = FakeWorker;
});
afterEach(() => {
  delete globalThis.Worker;
});

const settled = (promise) => promise.then((value) => ({value}), (error) => ({error}));
const tick = () => new Promise((resolve) => setImmediate(resolve));

async function readyClient(options = {}) {
  const client = new WorkerClient('worker.js', {init: {type: 'init'}, ...options});
  const ready = client.start();
  started.at(-1).say({type: 'ready'});
  await ready;
  return client;
}

describe('the worker client', () => {
  test('starts a worker with init, then answers each request by its id', async () => {
    const client = new WorkerClient('worker.js', {init: {type: 'init', module: 1}});
    const ready = client.start();
    const [worker] = started;
    assert.deepEqual(worker.sent, [{type: 'init', module: 1}]);
    worker.say({type: 'ready'});
    await ready;
    const events = [];
    const first = client.request({type: 'report', file: 'a'}, {onEvent: (e) => events.push(e)});
    const second = client.request({type: 'inspect', question: 'open'});
    assert.deepEqual(worker.sent.slice(1), [{type: 'report', file: 'a', id: 1},
                                           {type: 'inspect', question: 'open', id: 2}]);
    worker.say({type: 'running', id: 1, holding: false});
    worker.say({type: 'text', id: 1, chunk: 'x'});
    worker.say({type: 'answer', id: 2, answer: 'open'});
    worker.say({type: 'answer', id: 1, answer: {status: 0}});
    worker.say({type: 'answer', id: 1, answer: 'again'});
    assert.deepEqual(await first, {status: 0});
    assert.equal(await second, 'open');
    assert.deepEqual(events, [{type: 'text', id: 1, chunk: 'x'}]);
    // Events of a request that does not listen for them are let go.
    const quiet = client.request({type: 'save'});
    worker.say({type: 'progress', id: 3, read: 1, size: 2});
    worker.say({type: 'answer', id: 3, answer: 'saved'});
    assert.equal(await quiet, 'saved');
    client.stop();
    client.stop();
    assert.equal(worker.terminated, true);
  });

  test('a worker without init is ready at once; one that cannot start says why', async () => {
    const bare = new WorkerClient('worker.js');
    await bare.start();
    assert.deepEqual(started[0].sent, []);
    const broken = new WorkerClient('worker.js', {init: {type: 'init'}});
    const ready = settled(broken.start());
    const pending = settled(broken.request({type: 'report'}));
    started[1].say({type: 'failed', id: null, message: 'no core'});
    assert.equal((await ready).error.message, 'no core');
    assert.equal((await pending).error.message, 'no core');
    assert.equal(started[1].terminated, true);
    assert.equal(started.length, 2, 'no other worker is tried');
    assert.equal((await settled(broken.request({type: 'report'}))).error.message,
                 'the worker is not running');
    // A worker that dies before it is ready is not started again either.
    const dying = new WorkerClient('worker.js', {init: {type: 'init'}});
    const dies = settled(dying.start());
    started[2].onerror({message: 'bad script', preventDefault() {}});
    assert.equal((await dies).error.message, 'bad script');
    assert.equal(started.length, 3);
  });

  test('a request not begun is dropped by the worker when its signal aborts', async () => {
    const client = await readyClient();
    const [worker] = started;
    const controller = new AbortController();
    const asked = settled(client.request({type: 'inspect'}, {signal: controller.signal,
                                                             whenRunning: 'restart'}));
    controller.abort();
    assert.ok(isAbort((await asked).error));
    assert.deepEqual(worker.sent.at(-1), {type: 'cancel', id: 1});
    assert.equal(started.length, 1);
    worker.say({type: 'answer', id: 1, answer: 'late'});
    // Aborted before it is asked: never sent.
    assert.ok(isAbort((await settled(client.request({type: 'x'}, {signal: controller.signal})))
                          .error));
    assert.equal(worker.sent.length, 3);
  });

  test('one begun runs to its end unheard, or its worker is replaced, as asked', async () => {
    const client = await readyClient();
    const run = async (whenRunning, holding) => {
      const worker = started.at(-1);
      const controller = new AbortController();
      const asked = settled(client.request({type: 'excerpts'}, {signal: controller.signal,
                                                                whenRunning}));
      const {id} = worker.sent.at(-1);
      worker.say({type: 'running', id, holding});
      controller.abort();
      assert.ok(isAbort((await asked).error));
      return worker.terminated;
    };
    assert.equal(await run('finish', false), false);
    assert.equal(started.length, 1);
    assert.equal(await run('restart-unless-holding', true), false);
    assert.equal(started.length, 1);
    assert.equal(await run('restart-unless-holding', false), true);
    assert.equal(started.length, 2);
    assert.deepEqual(started[1].sent, [{type: 'init'}]);
    started[1].say({type: 'ready'});
    assert.equal(await run('restart', true), true);
    assert.equal(started.length, 3);
  });

  test('a newer request of a lane stops the older; requests not begun go to a new worker',
       async () => {
    const client = await readyClient();
    const [worker] = started;
    const older = settled(client.request({type: 'excerpts', n: 1},
                                         {lane: 'excerpts', whenRunning: 'restart'}));
    const waiting = client.request({type: 'inspect', n: 2});
    worker.say({type: 'running', id: 1, holding: false});
    const newer = client.request({type: 'excerpts', n: 3}, {lane: 'excerpts',
                                                            whenRunning: 'restart'});
    assert.ok(isAbort((await older).error));
    assert.equal((await older).error.message, 'a newer request took its place');
    assert.equal(worker.terminated, true);
    const fresh = started[1];
    assert.deepEqual(fresh.sent, [{type: 'init'}, {type: 'inspect', n: 2, id: 2},
                                  {type: 'excerpts', n: 3, id: 3}]);
    fresh.say({type: 'ready'});
    fresh.say({type: 'answer', id: 3, answer: 'three'});
    fresh.say({type: 'answer', id: 2, answer: 'two'});
    assert.equal(await newer, 'three');
    assert.equal(await waiting, 'two');
    // Settled, the lane is free: the next request of it stops nothing.
    const next = client.request({type: 'excerpts', n: 4}, {lane: 'excerpts'});
    assert.deepEqual(fresh.sent.at(-1), {type: 'excerpts', n: 4, id: 4});
    fresh.say({type: 'answer', id: 4, answer: 'four'});
    assert.equal(await next, 'four');
    assert.equal(started.length, 2);
  });

  test('a request that fails, or a worker that dies, fails what it ran, and the rest go on',
       async () => {
    const client = await readyClient();
    const failing = settled(client.request({type: 'report'}));
    const after = client.request({type: 'inspect'});
    started[0].say({type: 'running', id: 1});
    started[0].say({type: 'failed', id: 1, message: 'the file changed'});
    assert.equal((await failing).error.message, 'the file changed');
    assert.equal(started[0].terminated, true);
    assert.deepEqual(started[1].requests, [['init', undefined], ['inspect', 2]]);
    started[1].say({type: 'ready'});
    started[1].say({type: 'answer', id: 2, answer: 'ok'});
    assert.equal(await after, 'ok');

    const dying = settled(client.request({type: 'decode'}, {transfer: [1]}));
    const running = settled(client.request({type: 'report'}));
    const queued = client.request({type: 'inspect'});
    started[1].say({type: 'running', id: 4});
    let prevented = false;
    started[1].onerror({message: '', preventDefault() {
      prevented = true;
    }});
    assert.equal(prevented, true);
    assert.equal((await dying).error.message, 'the worker stopped');
    assert.equal((await running).error.message, 'the worker stopped');
    assert.deepEqual(started[2].requests, [['init', undefined], ['inspect', 5]]);
    started[2].say({type: 'ready'});
    started[2].say({type: 'answer', id: 5, answer: 'still'});
    assert.equal(await queued, 'still');
  });

  test('a request lets go of its signal once it is answered', async () => {
    const client = await readyClient();
    const listening = new Set();
    const signal = {aborted: false,
                    addEventListener: (type, listener) => listening.add(`${type}`) &&
                                                          listening.add(listener),
                    removeEventListener: (type, listener) => type === 'abort' &&
                                                             listening.delete(listener)};
    const asked = client.request({type: 'inspect'}, {signal});
    assert.equal(listening.size, 2);
    started[0].say({type: 'answer', id: 1, answer: 'ok'});
    await asked;
    assert.deepEqual([...listening], ['abort']);
  });

  test('messages of a replaced worker are not heard; a fresh one that cannot start is said',
       async () => {
    const broken = [];
    const client = await readyClient({onBroken: (error) => broken.push(error.message)});
    const asked = settled(client.request({type: 'report'}, {whenRunning: 'restart',
                                                            signal: AbortSignal.abort()}));
    assert.ok(isAbort((await asked).error));
    const controller = new AbortController();
    const running = settled(client.request({type: 'report'}, {signal: controller.signal,
                                                              whenRunning: 'restart'}));
    started[0].say({type: 'running', id: 1});
    controller.abort();
    await running;
    const old = started[0];
    const next = settled(client.request({type: 'inspect'}));
    old.onmessage({data: {type: 'answer', id: 2, answer: 'from the old one'}});
    old.onerror({message: 'the old one died', preventDefault() {}});
    assert.equal(started.length, 2);
    started[1].say({type: 'failed', id: null, message: 'out of memory'});
    assert.equal((await next).error.message, 'out of memory');
    await tick();
    assert.deepEqual(broken, ['out of memory']);
  });

  test('a worker on standby takes the place of one stopped at once, and another stands by',
       async () => {
    // Not while a request is in flight: its start would take from the work under way.
    const client = new WorkerClient('worker.js', {init: {type: 'init'}, standby: true});
    const ready = client.start();
    const early = client.request({type: 'inspect'});
    started[0].say({type: 'ready'});
    await ready;
    await tick();
    assert.equal(started.length, 1);
    started[0].say({type: 'answer', id: 1, answer: 'early'});
    await early;
    await tick();
    assert.equal(started.length, 2);
    const [first, spare] = started;
    assert.deepEqual(spare.sent, [{type: 'init'}]);
    spare.say({type: 'ready'});
    const controller = new AbortController();
    client.request({type: 'report'}, {signal: controller.signal, whenRunning: 'restart'})
        .catch(() => {});
    const waiting = client.request({type: 'inspect'});
    first.say({type: 'running', id: 2});
    controller.abort();
    assert.equal(first.terminated, true);
    // The spare was ready: it takes the request not begun, and no init is sent again.
    assert.deepEqual(spare.sent, [{type: 'init'}, {type: 'inspect', id: 3}]);
    spare.say({type: 'answer', id: 3, answer: 'at once'});
    assert.equal(await waiting, 'at once');
    await tick();
    assert.equal(started.length, 3);
    assert.deepEqual(started[2].sent, [{type: 'init'}]);
    // A spare that failed before it was needed fails what it is given, and says so.
    started[2].onerror({message: 'spare died', preventDefault() {}});
    const broken = [];
    client.onBroken = (error) => broken.push(error.message);
    const stopping = new AbortController();
    client.request({type: 'report'}, {signal: stopping.signal, whenRunning: 'restart'})
        .catch(() => {});
    const failing = settled(client.request({type: 'inspect'}));
    spare.say({type: 'running', id: 4});
    stopping.abort();
    assert.equal((await failing).error.message, 'spare died');
    await tick();
    assert.deepEqual(broken, ['spare died']);
    client.stop();
    assert.ok(started.every((worker) => worker.terminated));
  });

  test('a worker stands by as soon as the first is ready and idle; never once stopped',
       async () => {
    const client = await readyClient({standby: true});
    await tick();
    assert.equal(started.length, 2);
    // A spare whose start failed, said in a message, fails what it is given.
    started[1].say({type: 'progress', id: 9});
    started[1].say({type: 'failed', id: null, message: 'no memory for the core'});
    const stopping = new AbortController();
    client.request({type: 'report'}, {signal: stopping.signal, whenRunning: 'restart'})
        .catch(() => {});
    const failing = settled(client.request({type: 'inspect'}));
    started[0].say({type: 'running', id: 1});
    stopping.abort();
    assert.equal((await failing).error.message, 'no memory for the core');
    await tick();
    // No worker is running now: none stands by, and a cancel has nowhere to go.
    assert.equal(started.length, 2);
    const late = new AbortController();
    const never = settled(client.request({type: 'inspect'}, {signal: late.signal}));
    assert.equal((await never).error.message, 'the worker is not running');
    late.abort();
    assert.equal(started.length, 2);
  });

  test('a spare not yet ready takes the requests, and answers once it is', async () => {
    const client = await readyClient({standby: true});
    await tick();
    const [first, spare] = started;
    const stopping = new AbortController();
    client.request({type: 'report'}, {signal: stopping.signal, whenRunning: 'restart'})
        .catch(() => {});
    const waiting = client.request({type: 'inspect'});
    first.say({type: 'running', id: 1});
    stopping.abort();
    assert.deepEqual(spare.sent, [{type: 'init'}, {type: 'inspect', id: 2}]);
    spare.say({type: 'ready'});
    spare.say({type: 'answer', id: 2, answer: 'once ready'});
    assert.equal(await waiting, 'once ready');
    // One that dies before it is ready, whatever it said before, is not replaced in turn.
    await tick();
    const third = started[2];
    third.say({type: 'progress', id: 7});
    const again = new AbortController();
    client.request({type: 'report'}, {signal: again.signal, whenRunning: 'restart'})
        .catch(() => {});
    const lost = settled(client.request({type: 'inspect'}));
    spare.say({type: 'running', id: 3});
    again.abort();
    third.onerror({message: 'died starting', preventDefault() {}});
    assert.equal((await lost).error.message, 'died starting');
    assert.equal(started.length, 3);
  });

  test('a request with transferred bytes cannot go to a fresh worker: it fails', async () => {
    const client = await readyClient();
    const controller = new AbortController();
    client.request({type: 'report'}, {signal: controller.signal, whenRunning: 'restart'})
        .catch(() => {});
    const moved = settled(client.request({type: 'decode'}, {transfer: [new ArrayBuffer(1)]}));
    started[0].say({type: 'running', id: 1});
    controller.abort();
    assert.equal((await moved).error.message,
                 'the worker was replaced before it took the request');
    assert.deepEqual(started[1].requests, [['init', undefined]]);
  });
});
