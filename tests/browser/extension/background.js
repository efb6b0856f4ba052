// Plays the subtitle extension's part towards both native hosts; the browser test calls these.
'use strict';

const languageHost = 'org.quelvar.host';
const speechHost = 'org.quelvar.speech';

const delay = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// One request to the language host, answered by a fresh host process as Chrome does it.
function hostRequest(message) {
  return new Promise((resolve) => {
    chrome.runtime.sendNativeMessage(languageHost, message, (reply) => {
      const error = chrome.runtime.lastError;
      resolve(error ? {nativeError: error.message} : {reply});
    });
  });
}

// A long-lived connection to the speech host that records everything it hears, in order, and
// lets the caller wait for a condition on what arrived so far.
class SpeechPort {
  constructor() {
    this.started = Date.now();
    this.messages = [];
    this.disconnected = null;
    this.waiters = new Set();
    this.port = chrome.runtime.connectNative(speechHost);
    this.port.onMessage.addListener((message) => {
      this.messages.push({at: Date.now() - this.started, message});
      this.wake();
    });
    this.port.onDisconnect.addListener(() => {
      const error = chrome.runtime.lastError;
      this.disconnected = error ? error.message : 'disconnected';
      this.wake();
    });
  }

  // Posting to a port that the host closed throws; the recorded disconnect tells the story.
  post(message) {
    if (this.disconnected === null) {
      this.port.postMessage(message);
    }
  }

  wake() {
    for (const waiter of [...this.waiters]) {
      waiter();
    }
  }

  // Resolves with the first recorded message that satisfies `test`, or null when the host went
  // away or `timeoutMs` passed first.
  waitFor(test, timeoutMs) {
    return new Promise((resolve) => {
      let timer = null;
      const check = () => {
        const found = this.messages.find((entry) => test(entry.message));
        if (!found && this.disconnected === null) {
          return;
        }
        this.waiters.delete(check);
        clearTimeout(timer);
        resolve(found ? found.message : null);
      };
      timer = setTimeout(() => {
        this.waiters.delete(check);
        resolve(null);
      }, timeoutMs);
      this.waiters.add(check);
      check();
    });
  }

  // Everything heard so far; the port is closed as the extension would close it.
  close() {
    if (this.disconnected === null) {
      this.port.disconnect();
    }
    return {messages: this.messages, disconnected: this.disconnected};
  }
}

const isType = (type) => (message) => message.type === type;

// "ping" on a fresh speech connection; the host should answer "pong".
async function speechPing(timeoutMs) {
  const speech = new SpeechPort();
  speech.post({version: 1, type: 'ping'});
  await speech.waitFor(isType('pong'), timeoutMs);
  return speech.close();
}

// One live session: "start", the audio chunks at the pace of live capture, a final caption,
// "stop", then a "ping" whose "pong" shows that the stop has been handled, and disconnect.
async function speechSession({source, target, chunks, chunkMs, readyTimeoutMs, finalTimeoutMs}) {
  const speech = new SpeechPort();
  const result = {outcome: 'no answer to start'};
  speech.post({version: 1, type: 'start', source, target});
  const answer =
      await speech.waitFor((m) => m.type === 'ready' || m.type === 'error', readyTimeoutMs);
  if (answer && answer.type === 'ready') {
    for (let sequence = 0; sequence < chunks.length && speech.disconnected === null; ++sequence) {
      speech.post({version: 1, type: 'pcm', data: chunks[sequence], sequence});
      await delay(chunkMs);
    }
    const final = await speech.waitFor((m) => m.type === 'caption' && m.final, finalTimeoutMs);
    result.outcome = final ? 'final caption' : 'no final caption';
  } else if (answer) {
    result.outcome = 'start refused';
  }
  speech.post({version: 1, type: 'stop'});
  speech.post({version: 1, type: 'ping'});
  const pong = await speech.waitFor(isType('pong'), readyTimeoutMs);
  result.stopped = pong !== null;
  return Object.assign(result, speech.close());
}

globalThis.quelvarTest = {hostRequest, speechPing, speechSession};
