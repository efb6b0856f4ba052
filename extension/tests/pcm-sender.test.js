import assert from 'node:assert/strict';
import test from 'node:test';

import {PcmSender} from '../lib/pcm-sender.js';

function sender() {
  const sent = [];
  return {sent, pcm: new PcmSender((message) => sent.push(message))};
}

test('nothing is sent before ready; then numbers run from 0 on every start', () => {
  const {sent, pcm} = sender();
  assert.equal(pcm.block('a', 0), false);
  pcm.start();
  pcm.block('b', 0);
  pcm.block('c', 100);
  pcm.stop();
  pcm.block('d', 200);
  pcm.start();
  pcm.block('e', 300);
  assert.deepEqual(sent.map((m) => [m.data, m.sequence]), [['b', 0], ['c', 1], ['e', 0]]);
  assert.deepEqual(sent[0], {version: 1, type: 'pcm', data: 'b', sequence: 0});
});

test('an overload pauses sending, longer when it repeats, without a gap in the numbers', () => {
  const {sent, pcm} = sender();
  pcm.start();
  pcm.block('a', 0);
  pcm.overloaded(0);
  assert.equal(pcm.block('dropped', 999), false);
  assert.equal(pcm.block('b', 1000), true);
  pcm.overloaded(1500); // again soon: a 2 s pause
  assert.equal(pcm.block('dropped', 3499), false);
  assert.equal(pcm.block('c', 3500), true);
  pcm.overloaded(60000); // long after: back to 1 s
  assert.equal(pcm.block('d', 61000), true);
  assert.deepEqual(sent.map((m) => m.sequence), [0, 1, 2, 3]);
});
