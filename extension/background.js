// The service worker only routes: popup, shortcut and context menu to the session and the
// language host; audio from the offscreen document to the session; captions to the tab.

import {describeError} from './lib/errors.js';
import {speechSource, targetsFor} from './lib/languages.js';
import {DEFAULTS} from './lib/settings.js';
import {LanguageHost} from './worker/language-host.js';
import {closeOffscreen, Session} from './worker/session.js';

// As many finished lines as the options page lets the overlay show.
const MAX_LINES = 5;

const languageHost = new LanguageHost();
const popups = new Set();
let session = null;
let idleError = null; // why the last start failed before a session existed
let keptCues = []; // the last session's finals, still there to save after Stop

const settings = () => chrome.storage.local.get(DEFAULTS);

function state() {
  if (session) {
    return session.view();
  }
  return {status: idleError ? 'error' : 'idle', error: idleError, captions: keptCues.length};
}

function changed() {
  const current = state();
  for (const port of popups) {
    port.postMessage({type: 'state', state: current});
  }
  if (session) {
    const {status, error, warning, lines} = current;
    chrome.tabs.sendMessage(session.tabId, {type: 'captions', status, error, warning, lines})
        .catch(() => {}); // the page may be between two documents
  }
}

async function languages() {
  try {
    const reply = await languageHost.request('languages');
    const source = speechSource(reply);
    return {
      ok: true,
      source,
      targets: source ? targetsFor(reply, source.code) : [],
    };
  } catch (failure) {
    return {ok: false, error: describeError(failure.code, failure.detail)};
  }
}

async function stop() {
  if (session) {
    const ending = session;
    await ending.stop();
    if (session === ending) {
      idleError = ending.error;
      keptCues = ending.log.cues;
      session = null;
    }
    chrome.tabs.sendMessage(ending.tabId, {type: 'captions-end'}).catch(() => {});
  }
  changed();
}

// One tab at a time: a capture elsewhere (or of this tab) ends first, since a tab with an active
// stream cannot be captured again.
async function start(tabId, target, source) {
  await stop();
  await closeOffscreen();
  idleError = null;
  let streamId;
  try {
    streamId = await chrome.tabCapture.getMediaStreamId({targetTabId: tabId});
  } catch (error) {
    idleError = describeError('CAPTURE_FAILED', String(error.message || error));
    changed();
    return;
  }
  // Pages opened before the extension was installed have no content script yet.
  await chrome.scripting.executeScript({target: {tabId}, files: ['content.js']}).catch(() => {});
  session = new Session({tabId, source, target, streamId, finalLines: MAX_LINES, onChange: changed});
  changed();
  await session.start().catch((error) => session && session.fail('CAPTURE_FAILED', error.message));
}

// The shortcut starts with the remembered language (or the first one installed) and stops.
async function toggle(tab) {
  if (session && !session.ended && session.tabId === tab.id) {
    await stop();
    return;
  }
  const choice = await languages();
  if (!choice.ok || !choice.source) {
    idleError = choice.error || describeError('SPEECH_UNSUPPORTED');
    changed();
    return;
  }
  const {target} = await settings();
  const known = choice.targets.find((t) => t.code === target) || choice.targets[0];
  if (!known) {
    idleError = describeError('MODELS_NOT_INSTALLED');
    changed();
    return;
  }
  await start(tab.id, known.code, choice.source.code);
}

const handlers = {
  languages: () => languages(),
  start: ({tabId, target, source}) => start(tabId, target, source),
  stop: () => stop(),
  state: () => state(),
  subtitles: () => ({cues: session ? session.log.cues : keptCues}),
  'download-speech': async ({source}) => {
    try {
      const reply = await languageHost.request('download-speech', {source});
      return reply.ok ? {ok: true} : {ok: false, error: describeError(reply.error)};
    } catch (failure) {
      return {ok: false, error: describeError(failure.code, failure.detail)};
    }
  },
  // A page (re)loaded in the captured tab: show it the current lines.
  'content-ready': (message, sender) => {
    if (session && sender.tab && sender.tab.id === session.tabId) {
      changed();
    }
  },
};

chrome.runtime.onMessage.addListener((message, sender, reply) => {
  const handler = handlers[message.type];
  if (!handler) {
    return false;
  }
  Promise.resolve(handler(message, sender)).then((answer) => reply(answer ?? {}));
  return true; // answered asynchronously
});

chrome.runtime.onConnect.addListener((port) => {
  if (port.name === 'popup') {
    popups.add(port);
    port.onDisconnect.addListener(() => popups.delete(port));
    port.postMessage({type: 'state', state: state()});
  } else if (port.name === 'audio') {
    port.onMessage.addListener((message) => {
      if (message.type === 'audio' && session) {
        session.audio(message.data);
      } else if (message.type === 'capture-failed' && session) {
        session.fail('CAPTURE_FAILED', message.detail);
      }
    });
  }
});

chrome.commands.onCommand.addListener((command, tab) => {
  if (command === 'toggle-subtitles' && tab) {
    toggle(tab);
  }
});

chrome.tabs.onRemoved.addListener((tabId) => {
  if (session && session.tabId === tabId) {
    stop();
  }
});

chrome.runtime.onInstalled.addListener(async () => {
  await chrome.contextMenus.removeAll(); // an update keeps the old entry
  chrome.contextMenus.create(
      {id: 'quelvar-translate', title: 'Translate with Quelvar', contexts: ['selection']});
});

chrome.contextMenus.onClicked.addListener(async (info, tab) => {
  if (info.menuItemId !== 'quelvar-translate' || !tab) {
    return;
  }
  const choice = await languages();
  const {target} = await settings();
  const source = choice.ok && choice.source ? choice.source.code : 'en';
  const to = target || (choice.ok && choice.targets[0] ? choice.targets[0].code : 'es');
  let answer;
  try {
    const reply = await languageHost.request(
        'translate', {text: info.selectionText.slice(0, 8000), source, target: to});
    answer = reply.ok ? {text: reply.text} : {error: describeError(reply.error)};
  } catch (failure) {
    answer = {error: describeError(failure.code, failure.detail)};
  }
  await chrome.scripting.executeScript({target: {tabId: tab.id}, files: ['content.js']})
      .catch(() => {});
  chrome.tabs.sendMessage(tab.id, {type: 'translation', ...answer}).catch(() => {});
});
