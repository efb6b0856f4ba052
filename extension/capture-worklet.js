// Runs on the audio thread: passes the tab's audio through to the speakers and cuts a copy into
// 16 kHz mono 16-bit blocks for the speech host.

import {BlockMaker} from './lib/audio-blocks.js';

class CaptureProcessor extends AudioWorkletProcessor {
  constructor() {
    super();
    this.peak = 0;
    // `sampleRate` is the audio context's rate, a global of the worklet scope.
    this.blocks = new BlockMaker(sampleRate, (block) => {
      this.port.postMessage({block, peak: this.peak}, [block.buffer]);
      this.peak = 0;
    });
  }

  process(inputs, outputs) {
    const input = inputs[0];
    const output = outputs[0];
    if (input.length === 0) {
      return true; // nothing connected yet
    }
    output.forEach((channel, i) => channel.set(input[Math.min(i, input.length - 1)]));
    for (const channel of input) {
      for (const sample of channel) {
        this.peak = Math.max(this.peak, Math.abs(sample));
      }
    }
    this.blocks.push(input);
    return true;
  }
}

registerProcessor('quelvar-capture', CaptureProcessor);
