// The toolbar popup: the language to translate into, Start and Stop for this tab, the status
// in plain words, and saving the session's subtitles.

import {describeError} from './lib/errors.js';
import {DEFAULTS} from './lib/settings.js';
import {FORMATS} from './lib/subtitles.js';

const $ = (id) => document.getElementById(id);
const ask = (message) => chrome.runtime.sendMessage(message);

let tab = null;
let source = null;
let current = {status: 'idle'};

const SENTENCES = {
  idle: 'Choose a language and press Start on the tab with the video.',
  starting: 'Starting…',
  listening: 'Listening: subtitles appear on the page.',
  stopped: 'Stopped.',
};

function say(sentence, fix = '', isError = false) {
  $('status').textContent = sentence;
  $('status').classList.toggle('error', isError);
  $('fix').textContent = fix;
  $('fix').hidden = !fix;
}

function render(state) {
  current = state;
  const running = state.status === 'starting' || state.status === 'listening';
  const elsewhere = running && tab && state.tabId !== tab.id;
  if (state.error) {
    say(state.error.sentence, state.error.fix, true);
  } else if (state.warning) {
    say(state.warning.sentence, state.warning.fix, true);
  } else if (elsewhere) {
    say('Subtitles run on another tab. Start here to move them to this tab.');
  } else {
    say(SENTENCES[state.status] || SENTENCES.idle);
  }
  const missingModel = state.error && state.error.code === 'SPEECH_MODELS_MISSING';
  $('download').hidden = !(missingModel || (source && !source.speechInstalled));
  $('start').disabled = !tab || !$('target').value || (running && !elsewhere);
  $('stop').disabled = !running;
  $('save').disabled = !state.captions;
}

async function loadLanguages() {
  const answer = await ask({type: 'languages'});
  const select = $('target');
  if (!answer.ok) {
    select.replaceChildren();
    render({...current, error: answer.error});
    return;
  }
  source = answer.source;
  if (!source) {
    render({...current, error: describeError('SPEECH_UNSUPPORTED')});
    return;
  }
  if (!answer.targets.length) {
    render({...current, error: describeError('MODELS_NOT_INSTALLED')});
    return;
  }
  const {target} = await chrome.storage.local.get(DEFAULTS);
  select.replaceChildren(...answer.targets.map(({code, name}) => new Option(name, code)));
  if (answer.targets.some(({code}) => code === target)) {
    select.value = target;
  }
  select.disabled = false;
  render(current);
}

$('target').addEventListener('change', () => chrome.storage.local.set({target: $('target').value}));
$('format').addEventListener('change', () => chrome.storage.local.set({format: $('format').value}));
$('refresh').addEventListener('click', loadLanguages);

$('start').addEventListener('click', async () => {
  const target = $('target').value;
  await chrome.storage.local.set({target});
  ask({type: 'start', tabId: tab.id, target, source: source.code});
});

$('stop').addEventListener('click', () => ask({type: 'stop'}));

$('download').addEventListener('click', async () => {
  say('Installing the speech model…');
  const answer = await ask({type: 'download-speech', source: source ? source.code : 'en'});
  if (answer.ok) {
    await loadLanguages();
    render({...current, error: null});
  } else {
    say(answer.error.sentence, answer.error.fix, true);
  }
});

$('save').addEventListener('click', async () => {
  const {cues} = await ask({type: 'subtitles'});
  const {mode} = await chrome.storage.local.get(DEFAULTS);
  const format = FORMATS[$('format').value];
  const url = URL.createObjectURL(
      new Blob([format.write(cues, mode)], {type: `${format.type};charset=utf-8`}));
  const link = document.createElement('a');
  link.href = url;
  link.download = `subtitles-${new Date().toISOString().slice(0, 19).replaceAll(':', '-')}` +
      `.${format.extension}`;
  link.click();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
});

async function main() {
  [tab] = await chrome.tabs.query({active: true, currentWindow: true});
  const stored = await chrome.storage.local.get(DEFAULTS);
  $('format').value = stored.format;
  const commands = await chrome.commands.getAll();
  const toggle = commands.find((command) => command.name === 'toggle-subtitles');
  if (toggle && toggle.shortcut) {
    $('shortcut').textContent = `Shortcut: ${toggle.shortcut}`;
  }
  chrome.runtime.connect({name: 'popup'}).onMessage.addListener((message) => {
    if (message.type === 'state') {
      render(message.state);
    }
  });
  await loadLanguages();
}

main();
