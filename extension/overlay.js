// The subtitles drawn over the page, in a shadow root so that the page's styles leave them
// alone; also over a fullscreen video. Finished lines stay still while the next one forms.

import {DEFAULTS} from './lib/settings.js';

const SIZES = {small: 18, medium: 26, large: 36};

const STYLE = `
  :host { all: initial; }
  .box { position: fixed; left: 5%; right: 5%; display: flex; flex-direction: column;
    align-items: center; gap: 4px; pointer-events: none; z-index: 2147483647;
    font-family: system-ui, sans-serif; }
  .box.bottom { bottom: 7%; } .box.top { top: 7%; }
  .line { background: rgba(0, 0, 0, 0.78); color: #fff; border-radius: 6px; padding: 4px 12px;
    text-align: center; max-width: 100%; }
  .forming { opacity: 0.85; }
  .translation { display: block; font-size: var(--size); line-height: 1.25; }
  .source { display: block; font-size: calc(var(--size) * 0.6); color: #d8d8d8; }
  .note { font-size: 14px; background: rgba(120, 40, 0, 0.85); }
  .hidden { display: none; }
`;

function lineElement(line, kind, mode) {
  const element = document.createElement('div');
  element.className = `line ${kind}`;
  for (const part of ['translation', 'source']) {
    if (mode === 'both' || mode === part) {
      const span = document.createElement('span');
      span.className = part;
      span.textContent = line[part];
      element.append(span);
    }
  }
  return element;
}

class Overlay {
  constructor(settings) {
    this.settings = settings;
    this.host = document.createElement('quelvar-captions');
    // A popover sits in the top layer, so it stays visible above a fullscreen element too.
    this.host.popover = 'manual';
    for (const [name, value] of Object.entries({
      position: 'fixed', inset: 'auto', margin: '0', padding: '0', border: 'none',
      background: 'transparent', overflow: 'visible', width: '0', height: '0'})) {
      this.host.style.setProperty(name, value, 'important');
    }
    const root = this.host.attachShadow({mode: 'open'});
    const style = document.createElement('style');
    style.textContent = STYLE;
    this.box = document.createElement('div');
    this.finals = document.createElement('div');
    this.forming = document.createElement('div');
    this.note = document.createElement('div');
    // Screen readers hear finished lines only; the forming line changes too often.
    this.finals.setAttribute('aria-live', 'polite');
    this.forming.setAttribute('aria-hidden', 'true');
    this.note.setAttribute('role', 'status');
    this.box.append(this.finals, this.forming, this.note);
    root.append(style, this.box);
    document.addEventListener('fullscreenchange', () => this.attach());
    chrome.storage.onChanged.addListener((changes) => {
      for (const [key, {newValue}] of Object.entries(changes)) {
        this.settings[key] = newValue ?? DEFAULTS[key];
      }
      this.layout();
      if (this.last) {
        this.show(this.last);
      }
    });
    this.attach();
    this.layout();
  }

  // Into the fullscreen element when there is one (a <video> itself cannot hold it, so then the
  // document), then to the top of the top layer.
  attach() {
    const full = document.fullscreenElement;
    const parent = full && !(full instanceof HTMLMediaElement) ? full : document.documentElement;
    if (this.host.parentNode !== parent) {
      parent.append(this.host);
    }
    if (this.host.matches(':popover-open')) {
      this.host.hidePopover();
    }
    this.host.showPopover();
  }

  layout() {
    this.box.className = `box ${this.settings.position === 'top' ? 'top' : 'bottom'}`;
    this.box.style.setProperty('--size', `${SIZES[this.settings.size] || SIZES.medium}px`);
  }

  show({lines, error, warning}) {
    this.last = {lines, error, warning};
    if (!this.host.isConnected) {
      this.attach();
    }
    const mode = this.settings.mode;
    const finals = lines.finals.slice(-Math.max(1, this.settings.lines));
    this.finals.replaceChildren(...finals.map((line) => lineElement(line, 'final', mode)));
    this.forming.replaceChildren(
        ...(lines.forming ? [lineElement(lines.forming, 'forming', mode)] : []));
    const note = error || warning;
    this.note.className = note ? 'line note' : 'hidden';
    this.note.textContent = note ? note.sentence : '';
    this.box.hidden = false;
  }

  hide() {
    this.box.hidden = true;
  }
}

export async function createOverlay() {
  return new Overlay(await chrome.storage.local.get(DEFAULTS));
}

// The answer to "Translate with Quelvar", next to the selected text until the next click.
export function showTranslation({text, error}) {
  const selection = getSelection();
  const rect = selection.rangeCount ? selection.getRangeAt(0).getBoundingClientRect() : null;
  const host = document.createElement('quelvar-translation');
  const root = host.attachShadow({mode: 'open'});
  const bubble = document.createElement('div');
  bubble.setAttribute('role', 'status');
  bubble.textContent = text ?? `${error.sentence} ${error.fix}`;
  bubble.style.cssText = 'position:fixed;z-index:2147483647;max-width:360px;padding:8px 12px;' +
      'background:#1f1f1f;color:#fff;border-radius:8px;font:15px system-ui,sans-serif;' +
      'box-shadow:0 2px 8px rgba(0,0,0,.4);';
  bubble.style.left = `${Math.max(8, rect ? rect.left : 8)}px`;
  bubble.style.top = `${rect ? rect.bottom + 8 : 8}px`;
  root.append(bubble);
  document.documentElement.append(host);
  const close = () => {
    host.remove();
    removeEventListener('mousedown', close, true);
    removeEventListener('keydown', close, true);
  };
  addEventListener('mousedown', close, true);
  addEventListener('keydown', close, true);
}
