import assert from 'node:assert/strict';
import test from 'node:test';

import {SubtitleLog, toSrt, toText, toVtt} from '../lib/subtitles.js';

function session() {
  const log = new SubtitleLog();
  log.record({source: 'hello', translation: 'hola', final: false, segment: '0'}, 1200);
  log.record({source: 'hello world', translation: 'hola mundo', final: true, segment: '0'}, 2500);
  log.record({source: 'bye', translation: 'adiós', final: true, segment: '1'}, 3723004);
  log.record({source: ' ', translation: '', final: true, segment: '2'}, 3724000);
  return log.cues;
}

test('SRT, WebVTT and text hold each final caption from when it was first heard, a second at least', () => {
  const cues = session();
  assert.equal(toSrt(cues),
      '1\n00:00:01,200 --> 00:00:02,500\nhola mundo\nhello world\n\n' +
      '2\n01:02:03,004 --> 01:02:04,004\nadiós\nbye\n');
  assert.equal(toVtt(cues, 'translation'),
      'WEBVTT\n\n00:00:01.200 --> 00:00:02.500\nhola mundo\n\n' +
      '01:02:03.004 --> 01:02:04.004\nadiós\n');
  assert.equal(toText(cues, 'source'), 'hello world\n\nbye\n');
});

test('a caption cannot break the file apart', () => {
  const cues = [{start: 0, end: 1000, source: 'a\n\nb --> c', translation: ''}];
  assert.equal(toSrt(cues), '1\n00:00:00,000 --> 00:00:01,000\na\nb --> c\n');
  assert.match(toVtt(cues), /\na\nb -> c\n$/);
});
