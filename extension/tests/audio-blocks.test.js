import assert from 'node:assert/strict';
import test from 'node:test';

import {BLOCK_SAMPLES, BlockMaker, blockToBase64} from '../lib/audio-blocks.js';

// Feeds `seconds` of audio at `rate` in render quanta of 128 frames; the blocks made.
function run(rate, seconds, channelValues) {
  const blocks = [];
  const maker = new BlockMaker(rate, (block) => blocks.push(block));
  for (let done = 0; done < rate * seconds; done += 128) {
    maker.push(channelValues.map((value) => new Float32Array(128).fill(value)));
  }
  return blocks;
}

test('blocks hold 100 ms at 16 kHz whatever the capture rate', () => {
  for (const rate of [44100, 8000]) {
    const blocks = run(rate, 1.024, [0.25]);
    assert.equal(blocks.length, 10, `rate ${rate}`);
    assert.ok(blocks.every((block) => block.length === BLOCK_SAMPLES));
  }
});

test('channels are averaged into mono, scaled to 16 bits and clipped', () => {
  const table = [
    {channels: [0.5, -0.5], sample: 0},
    {channels: [0.5, 0.5], sample: 16384},
    {channels: [0.25, 0.75], sample: 16384},
    {channels: [3, 3], sample: 32767},
    {channels: [-3], sample: -32768},
  ];
  for (const {channels, sample} of table) {
    const [block] = run(48000, 0.2, channels);
    assert.ok(block.every((value) => value === sample), `${channels} -> ${block[0]}`);
  }
});

test('base64 carries the samples little-endian', () => {
  assert.equal(blockToBase64(Int16Array.of(1, -2)), 'AQD+/w==');
  assert.equal(atob(blockToBase64(new Int16Array(BLOCK_SAMPLES))).length, BLOCK_SAMPLES * 2);
});
