// The worker client against a worker played here: answers, events, lanes, cancels, restarts.
import assert from 'node:assert/strict';
import {afterEach, beforeEach, test} from 'node:test';

import {isAbort, WorkerClient} from '../../../web/workers.js';

// A worker that records what it is sent and answers as the test says; every one started is
// kept, newest last.
let started;
class FakeWorker {
  constructor(url) {
    Object.assign(this, {url, sent: [], terminated: false});
    started.push(this);
  }

  postMessage(message) { this.sent.push(message); }
  terminate() { this.terminated = true; }
  // Posts to the page, as a worker does; dies as one does.
  say(...messages) { for (const data of messages) this.onmessage({data}); }
  die(message) { this.onerror({message, preventDefault() {}}); }
  // The requests sent, as [type, id].
  get requests() { return this.sent.map(({type, id}) => [type, id]); }
}

beforeEach(() => {
  started = [];
  globalThis.Worker = FakeWorker;
});
afterEach(() => {
  delete globalThis.Worker;
});

const settled = (promise) => promise.then((value) => ({value}), (error) => ({error}));
const failure = async (promise) => (await settled(promise)).error.message;
const tick = () => new Promise((resolve) => setImmediate(resolve));
const kInit = {type: 'init'};

async function readyClient(options = {}) {
  const client = new WorkerClient('worker.js', {init: kInit, ...options});
  const ready = client.start();
  started.at(-1).say({type: 'ready'});
  await ready;
  return client;
}

// A request the worker begins as request id, then aborted: its worker is replaced. What queued()
// asked for meanwhile (an inspect request unless given) is returned.
function replaceRunning(client, id, worker = started[0],
                        queued = () => client.request({type: 'inspect'})) {
  const controller = new AbortController();
  client.request({type: 'report'}, {signal: controller.signal, whenRunning: 'restart'})
    .catch(() => {});
  const waiting = queued();
  worker.say({type: 'running', id});
  controller.abort();
  return waiting;
}

test('an abort is told from other failures', () => {
  assert.equal(isAbort(new DOMException('gone', 'AbortError')), true);
  assert.equal(isAbort(new Error('the file changed')), false);
  assert.equal(isAbort(undefined), false);
});

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
  worker.say({type: 'running', id: 1, holding: false}, {type: 'text', id: 1, chunk: 'x'},
             {type: 'answer', id: 2, answer: 'open'}, {type: 'answer', id: 1, answer: {status: 0}},
             {type: 'answer', id: 1, answer: 'again'});
  assert.deepEqual(await first, {status: 0});
  assert.equal(await second, 'open');
  assert.deepEqual(events, [{type: 'text', id: 1, chunk: 'x'}]);
  // Events of a request that does not listen for them are let go.
  const quiet = client.request({type: 'save'});
  worker.say({type: 'progress', id: 3, read: 1, size: 2}, {type: 'answer', id: 3, answer: 'saved'});
  assert.equal(await quiet, 'saved');
  client.stop();
  client.stop();
  assert.equal(worker.terminated, true);
});

test('a worker without init is ready at once; one that cannot start says why', async () => {
  await new WorkerClient('worker.js').start();
  assert.deepEqual(started[0].sent, []);
  const broken = new WorkerClient('worker.js', {init: kInit});
  const ready = failure(broken.start());
  const pending = failure(broken.request({type: 'report'}));
  started[1].say({type: 'failed', id: null, message: 'no core'});
  assert.deepEqual([await ready, await pending], ['no core', 'no core']);
  assert.equal(started[1].terminated, true);
  assert.equal(started.length, 2, 'no other worker is tried');
  assert.equal(await failure(broken.request({type: 'report'})), 'the worker is not running');
  // A worker that dies before it is ready is not started again either.
  const dies = failure(new WorkerClient('worker.js', {init: kInit}).start());
  started[2].die('bad script');
  assert.equal(await dies, 'bad script');
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
  // [whenRunning, holding, whether the worker is replaced]
  for (const [whenRunning, holding, replaced] of [['finish', false, false],
                                                  ['restart-unless-holding', true, false],
                                                  ['restart-unless-holding', false, true],
                                                  ['restart', true, true]]) {
    const worker = started.at(-1);
    const count = started.length;
    const controller = new AbortController();
    const asked = settled(client.request({type: 'excerpts'}, {signal: controller.signal,
                                                              whenRunning}));
    worker.say({type: 'running', id: worker.sent.at(-1).id, holding});
    controller.abort();
    assert.ok(isAbort((await asked).error));
    assert.deepEqual([worker.terminated, started.length], [replaced, count + (replaced ? 1 : 0)],
                     `${whenRunning}, holding ${holding}`);
    if (replaced) {
      assert.deepEqual(started.at(-1).sent, [kInit]);
      started.at(-1).say({type: 'ready'});
    }
  }
});

test('a lane\'s newer request stops the older; those not begun go to a new worker', async () => {
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
  assert.deepEqual(fresh.sent, [kInit, {type: 'inspect', n: 2, id: 2},
                                {type: 'excerpts', n: 3, id: 3}]);
  fresh.say({type: 'ready'}, {type: 'answer', id: 3, answer: 'three'},
            {type: 'answer', id: 2, answer: 'two'});
  assert.deepEqual([await newer, await waiting], ['three', 'two']);
  // Settled, the lane is free: the next request of it stops nothing.
  const next = client.request({type: 'excerpts', n: 4}, {lane: 'excerpts'});
  assert.deepEqual(fresh.sent.at(-1), {type: 'excerpts', n: 4, id: 4});
  fresh.say({type: 'answer', id: 4, answer: 'four'});
  assert.equal(await next, 'four');
  assert.equal(started.length, 2);
});

test('a failed request or a dead worker fails what it ran; the rest go on', async () => {
  const client = await readyClient();
  const failing = failure(client.request({type: 'report'}));
  const after = client.request({type: 'inspect'});
  started[0].say({type: 'running', id: 1}, {type: 'failed', id: 1, message: 'the file changed'});
  assert.equal(await failing, 'the file changed');
  assert.equal(started[0].terminated, true);
  assert.deepEqual(started[1].requests, [['init', undefined], ['inspect', 2]]);
  started[1].say({type: 'ready'}, {type: 'answer', id: 2, answer: 'ok'});
  assert.equal(await after, 'ok');
  const dying = failure(client.request({type: 'decode'}, {transfer: [1]}));
  const running = failure(client.request({type: 'report'}));
  const queued = client.request({type: 'inspect'});
  started[1].say({type: 'running', id: 4});
  let prevented = false;
  started[1].onerror({message: '', preventDefault() {
    prevented = true;
  }});
  assert.equal(prevented, true);
  assert.deepEqual([await dying, await running], ['the worker stopped', 'the worker stopped']);
  assert.deepEqual(started[2].requests, [['init', undefined], ['inspect', 5]]);
  started[2].say({type: 'ready'}, {type: 'answer', id: 5, answer: 'still'});
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

test('a replaced worker goes unheard; a fresh one that cannot start is said', async () => {
  const broken = [];
  const client = await readyClient({onBroken: (error) => broken.push(error.message)});
  const asked = settled(client.request({type: 'report'}, {whenRunning: 'restart',
                                                          signal: AbortSignal.abort()}));
  assert.ok(isAbort((await asked).error));
  replaceRunning(client, 1, started[0], () => null);
  const old = started[0];
  const next = failure(client.request({type: 'inspect'}));
  old.say({type: 'answer', id: 2, answer: 'from the old one'});
  old.die('the old one died');
  assert.equal(started.length, 2);
  started[1].say({type: 'failed', id: null, message: 'out of memory'});
  assert.equal(await next, 'out of memory');
  await tick();
  assert.deepEqual(broken, ['out of memory']);
});

test('a standby worker takes the place of one stopped at once; another stands by', async () => {
  // Not while a request is in flight: its start would take from the work under way.
  const client = new WorkerClient('worker.js', {init: kInit, standby: true});
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
  assert.deepEqual(spare.sent, [kInit]);
  spare.say({type: 'ready'});
  const waiting = replaceRunning(client, 2, first);
  assert.equal(first.terminated, true);
  // The spare was ready: it takes the request not begun, and no init is sent again.
  assert.deepEqual(spare.sent, [kInit, {type: 'inspect', id: 3}]);
  spare.say({type: 'answer', id: 3, answer: 'at once'});
  assert.equal(await waiting, 'at once');
  await tick();
  assert.equal(started.length, 3);
  assert.deepEqual(started[2].sent, [kInit]);
  // A spare that failed before it was needed fails what it is given, and says so.
  started[2].die('spare died');
  const broken = [];
  client.onBroken = (error) => broken.push(error.message);
  assert.equal(await failure(replaceRunning(client, 4, spare)), 'spare died');
  await tick();
  assert.deepEqual(broken, ['spare died']);
  client.stop();
  assert.ok(started.every((worker) => worker.terminated));
});

test('a worker stands by once the first is ready and idle; never once stopped', async () => {
  const client = await readyClient({standby: true});
  await tick();
  assert.equal(started.length, 2);
  // A spare whose start failed, said in a message, fails what it is given.
  started[1].say({type: 'progress', id: 9},
                 {type: 'failed', id: null, message: 'no memory for the core'});
  assert.equal(await failure(replaceRunning(client, 1)), 'no memory for the core');
  await tick();
  // No worker is running now: none stands by, and a cancel has nowhere to go.
  assert.equal(started.length, 2);
  const late = new AbortController();
  const never = failure(client.request({type: 'inspect'}, {signal: late.signal}));
  assert.equal(await never, 'the worker is not running');
  late.abort();
  assert.equal(started.length, 2);
});

test('a spare not yet ready takes the requests, and answers once it is', async () => {
  const client = await readyClient({standby: true});
  await tick();
  const [, spare] = started;
  const waiting = replaceRunning(client, 1);
  assert.deepEqual(spare.sent, [kInit, {type: 'inspect', id: 2}]);
  spare.say({type: 'ready'}, {type: 'answer', id: 2, answer: 'once ready'});
  assert.equal(await waiting, 'once ready');
  // One that dies before it is ready, whatever it said before, is not replaced in turn.
  await tick();
  const third = started[2];
  third.say({type: 'progress', id: 7});
  const lost = failure(replaceRunning(client, 3, spare));
  third.die('died starting');
  assert.equal(await lost, 'died starting');
  assert.equal(started.length, 3);
});

test('a request with transferred bytes cannot go to a fresh worker: it fails', async () => {
  const client = await readyClient();
  const moved = replaceRunning(client, 1, started[0], () =>
    client.request({type: 'decode'}, {transfer: [new ArrayBuffer(1)]}));
  assert.equal(await failure(moved), 'the worker was replaced before it took the request');
  assert.deepEqual(started[1].requests, [['init', undefined]]);
});
