// One live subtitle session on one tab: the speech host's port, the offscreen document that
// captures the tab, the caption lines shown on the page and the captions kept for saving.

import {CaptionLines, FORMING_EXPIRY_MS} from '../lib/caption-lines.js';
import {describeError, disconnectCode, FATAL} from '../lib/errors.js';
import {PcmSender} from '../lib/pcm-sender.js';
import {SubtitleLog} from '../lib/subtitles.js';

const SPEECH_HOST = 'org.quelvar.speech';
// A warning (overload, one failed translation) stays in the status line this long.
const WARNING_MS = 5000;

export class Session {
  // `onChange(session)` runs whenever the status, the error or the lines change.
  constructor({tabId, source, target, streamId, finalLines, onChange}) {
    Object.assign(this, {tabId, source, target, streamId, onChange});
    this.status = 'starting';
    this.error = null;
    this.warning = null;
    this.lines = new CaptionLines(finalLines);
    this.log = new SubtitleLog();
    this.sender = null;
    this.port = null;
    this.ended = false;
  }

  async start() {
    this.startedAt = Date.now();
    this.port = chrome.runtime.connectNative(SPEECH_HOST);
    this.sender = new PcmSender((message) => this.port.postMessage(message));
    this.port.onMessage.addListener((message) => this.receive(message));
    this.port.onDisconnect.addListener(() => {
      const detail = chrome.runtime.lastError ? chrome.runtime.lastError.message : '';
      this.port = null;
      if (!this.ended) {
        this.fail(disconnectCode(detail), detail);
      }
    });
    this.port.postMessage({version: 1, type: 'start', source: this.source, target: this.target});
    // The tab's stream opens while the host loads its models; its audio is dropped until
    // "ready", since the host must hear nothing before it.
    await chrome.offscreen.createDocument({
      url: 'offscreen.html?stream=' + encodeURIComponent(this.streamId),
      reasons: ['USER_MEDIA'],
      justification: 'Turns the tab\'s audio into subtitles and keeps it audible.',
    });
    if (this.ended) {
      await closeOffscreen(); // stopped or failed while the document was being made
    }
  }

  receive(message) {
    if (this.ended) {
      return;
    }
    if (message.type === 'ready') {
      this.sender.start();
      this.status = 'listening';
    } else if (message.type === 'caption') {
      this.log.record(message, Date.now() - this.startedAt);
      if (!this.lines.apply(message, Date.now())) {
        return;
      }
      this.watchFormingLine();
    } else if (message.type === 'error') {
      if (FATAL.has(message.error)) {
        this.fail(message.error, message.detail || '');
        return;
      }
      if (message.error === 'AUDIO_OVERLOAD') {
        this.sender.overloaded(Date.now());
      }
      this.warn(message.error);
    } else {
      return;
    }
    this.onChange(this);
  }

  // One block of the tab's audio from the offscreen document.
  audio(data) {
    if (!this.ended && this.sender) {
      this.sender.block(data, Date.now());
    }
  }

  watchFormingLine() {
    clearTimeout(this.formingTimer);
    if (this.lines.forming) {
      this.formingTimer = setTimeout(() => {
        if (!this.ended && this.lines.expireForming(Date.now())) {
          this.onChange(this);
        }
      }, FORMING_EXPIRY_MS);
    }
  }

  warn(code) {
    const warning = describeError(code);
    this.warning = warning;
    setTimeout(() => {
      if (this.warning === warning) {
        this.warning = null;
        this.onChange(this);
      }
    }, WARNING_MS);
  }

  fail(code, detail) {
    this.error = describeError(code, detail);
    this.status = 'error';
    this.stop();
    this.onChange(this);
  }

  // Ends the stream, closes the port (the host then exits) and the offscreen document.
  async stop() {
    if (this.ended) {
      return this.closing;
    }
    this.ended = true;
    clearTimeout(this.formingTimer);
    if (this.status !== 'error') {
      this.status = 'stopped';
    }
    if (this.sender) {
      this.sender.stop();
    }
    if (this.port) {
      this.port.postMessage({version: 1, type: 'stop'});
      this.port.disconnect();
      this.port = null;
    }
    this.closing = closeOffscreen();
    await this.closing;
  }

  // What the popup and the overlay show.
  view() {
    return {
      status: this.status,
      tabId: this.tabId,
      target: this.target,
      error: this.error,
      warning: this.warning,
      captions: this.log.cues.length,
      lines: {finals: this.lines.finals, forming: this.lines.forming},
    };
  }
}

export async function closeOffscreen() {
  const open = await chrome.runtime.getContexts({contextTypes: ['OFFSCREEN_DOCUMENT']});
  if (open.length) {
    await chrome.offscreen.closeDocument().catch(() => {});
  }
}
