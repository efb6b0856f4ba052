// Requests to the language host over one kept port, so that a second "translate" finds the
// translation pipeline warm. The port closes after a quiet minute; the host then exits.

import {disconnectCode} from '../lib/errors.js';

const HOST = 'org.quelvar.host';
const IDLE_MS = 60000;

export class LanguageHost {
  constructor() {
    this.port = null;
    this.pending = new Map(); // id -> {resolve, reject}
    this.nextId = 1;
    this.idleTimer = null;
  }

  // The reply of one request: {ok: true, ...} or {ok: false, error}. Rejects with {code, detail}
  // when the host cannot be reached.
  request(type, fields = {}) {
    const id = `${type}-${this.nextId++}`;
    clearTimeout(this.idleTimer);
    return new Promise((resolve, reject) => {
      this.pending.set(id, {resolve, reject});
      try {
        this.connect().postMessage({version: 1, id, type, ...fields});
      } catch (error) {
        this.pending.delete(id);
        reject({code: 'HOST_NOT_FOUND', detail: String(error.message || error)});
      }
    });
  }

  connect() {
    if (this.port) {
      return this.port;
    }
    const port = chrome.runtime.connectNative(HOST);
    port.onMessage.addListener((reply) => {
      const waiter = this.pending.get(reply.id);
      if (waiter) {
        this.pending.delete(reply.id);
        waiter.resolve(reply);
      }
      if (this.pending.size === 0) {
        clearTimeout(this.idleTimer);
        this.idleTimer = setTimeout(() => this.close(), IDLE_MS);
      }
    });
    port.onDisconnect.addListener(() => {
      const detail = chrome.runtime.lastError ? chrome.runtime.lastError.message : '';
      this.port = null;
      for (const waiter of this.pending.values()) {
        waiter.reject({code: disconnectCode(detail), detail});
      }
      this.pending.clear();
    });
    this.port = port;
    return port;
  }

  close() {
    if (this.port && this.pending.size === 0) {
      this.port.disconnect();
      this.port = null;
    }
  }
}
