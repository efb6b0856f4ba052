// Every error code of the two hosts, and the extension's own, as a sentence and its fix.

const INSTALL_APP = 'Install Quelvar, open the Quelvar app once and press "Connect extension".';

const MESSAGES = {
  // Speech host
  INVALID_REQUEST: ['Quelvar sent the host a message it did not understand.',
    'Update the extension and the Quelvar app to matching versions.'],
  UNSUPPORTED_PAIR: ['This pair of languages cannot be translated.',
    'Choose another language to translate into.'],
  INVALID_AUDIO: ['The tab\'s audio could not be read.', 'Press Stop, then Start again.'],
  AUDIO_SEQUENCE: ['Some of the tab\'s audio went missing on its way to the speech host.',
    'Press Stop, then Start again.'],
  AUDIO_OVERLOAD: ['Your computer is falling behind: some audio was skipped.',
    'Close other busy programs or tabs; subtitles catch up by themselves.'],
  SPEECH_UNSUPPORTED: ['Speech recognition does not know this language.',
    'Play a video in a language Quelvar can recognise (English today).'],
  SPEECH_MODELS_MISSING: ['The speech model for this language is not installed.',
    'Press "Install speech model", or install it yourself: sudo apt install pocketsphinx-en-us'],
  MODELS_NOT_INSTALLED: ['The translation for this pair of languages is not installed.',
    'Install its Apertium language pair, for example: sudo apt install apertium-eng-spa. ' +
    'Then press "Refresh languages".'],
  SPEECH_UNAVAILABLE: ['Speech recognition could not start.', 'Press Start again; if it keeps ' +
    'failing, reinstall Quelvar.'],
  RECOGNITION_FAILED: ['Speech recognition stopped with an error.', 'Press Start again.'],
  TRANSLATION_FAILED: ['A caption could not be translated.',
    'Subtitles go on; if this keeps happening, reinstall the Apertium language pair.'],
  // Language host
  SPEECH_DOWNLOAD_FAILED: ['The speech model could not be installed.',
    'Install it yourself: sudo apt install pocketsphinx-en-us'],
  // The extension's own
  HOST_NOT_FOUND: ['The Quelvar app is not connected to this browser.', INSTALL_APP],
  HOST_EXITED: ['The speech host stopped unexpectedly.', 'Press Start again.'],
  CAPTURE_FAILED: ['The tab\'s audio could not be captured.',
    'Open the tab with the video, then press Start (or the shortcut) on that tab.'],
  NO_TAB: ['There is no tab to subtitle here.', 'Open a tab with a video and try there.'],
};

// {sentence, fix} for a code; `detail` (the host's "detail", or a browser message) is kept so
// that a report to us can name the failing step.
export function describeError(code, detail = '') {
  const [sentence, fix] = MESSAGES[code] ||
      ['Something went wrong (' + code + ').', 'Press Stop, then Start again.'];
  return {code, sentence, fix, detail};
}

// The code for a native port that closed: Chrome's message tells a missing host from one that
// exited.
export function disconnectCode(message) {
  return /not found|forbidden/i.test(message || '') ? 'HOST_NOT_FOUND' : 'HOST_EXITED';
}

// Errors after which the session cannot go on.
export const FATAL = new Set(['UNSUPPORTED_PAIR', 'SPEECH_UNSUPPORTED', 'SPEECH_MODELS_MISSING',
  'MODELS_NOT_INSTALLED', 'SPEECH_UNAVAILABLE', 'RECOGNITION_FAILED', 'INVALID_REQUEST',
  'AUDIO_SEQUENCE']);

export const knownCodes = () => Object.keys(MESSAGES);
