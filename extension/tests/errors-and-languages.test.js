import assert from 'node:assert/strict';
import test from 'node:test';

import {describeError, disconnectCode} from '../lib/errors.js';
import {speechSource, targetsFor} from '../lib/languages.js';

const HOST_CODES = ['INVALID_REQUEST', 'UNSUPPORTED_PAIR', 'INVALID_AUDIO', 'AUDIO_SEQUENCE',
  'AUDIO_OVERLOAD', 'SPEECH_UNSUPPORTED', 'SPEECH_MODELS_MISSING', 'MODELS_NOT_INSTALLED',
  'SPEECH_UNAVAILABLE', 'RECOGNITION_FAILED', 'TRANSLATION_FAILED', 'SPEECH_DOWNLOAD_FAILED'];

test('every error code of the hosts reads as a sentence of its own', () => {
  for (const code of HOST_CODES) {
    assert.doesNotMatch(describeError(code).sentence, /\(/, code);
  }
});

test('a closed port is a missing host when Chrome could not find or may not start it', () => {
  for (const [message, code] of [['Specified native messaging host not found.', 'HOST_NOT_FOUND'],
    ['Access to the specified native messaging host is forbidden.', 'HOST_NOT_FOUND'],
    ['Native host has exited.', 'HOST_EXITED']]) {
    assert.equal(disconnectCode(message), code, message);
  }
});

test('the source is the recognisable language and the targets are its installed pairs', () => {
  const reply = {
    languages: [
      {code: 'ca', name: 'Catalan', speechSupported: false, speechInstalled: false},
      {code: 'de', name: 'German', speechSupported: true, speechInstalled: false},
      {code: 'en', name: 'English', speechSupported: true, speechInstalled: true},
      {code: 'es', name: 'Spanish', speechSupported: false, speechInstalled: false},
    ],
    pairs: [['en', 'es'], ['es', 'en'], ['en', 'ca'], ['de', 'en'], ['en', 'en']],
  };
  assert.equal(speechSource(reply).code, 'en');
  assert.deepEqual(targetsFor(reply, 'en'), [{code: 'ca', name: 'Catalan'},
    {code: 'es', name: 'Spanish'}]);
  assert.equal(speechSource({languages: [], pairs: []}), null);
});
