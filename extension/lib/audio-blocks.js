// Tab audio to the speech host's wire format: mono, 16 kHz, 16-bit, in blocks of about 100 ms.
// Pure logic, shared by the AudioWorklet and the tests.

export const WIRE_RATE = 16000;
export const BLOCK_SAMPLES = 1600; // 100 ms: small steady messages, never a saved-up burst

// Mixes any number of channels to mono, brings the rate to 16 kHz and cuts the result into
// blocks. Each output sample is the mean of the input samples of its interval, which also
// keeps frequencies above the new Nyquist limit from folding back into speech.
export class BlockMaker {
  constructor(inputRate, onBlock) {
    this.step = inputRate / WIRE_RATE; // input samples per output sample
    this.onBlock = onBlock;
    this.position = 0;
    this.sum = 0;
    this.count = 0;
    this.last = 0;
    this.block = new Int16Array(BLOCK_SAMPLES);
    this.filled = 0;
  }

  // `channels`: one Float32Array per channel, all of the same length (a render quantum).
  push(channels) {
    const length = channels.length ? channels[0].length : 0;
    for (let i = 0; i < length; ++i) {
      let mixed = 0;
      for (const channel of channels) {
        mixed += channel[i];
      }
      this.sum += mixed / channels.length;
      this.count += 1;
      this.position += 1;
      while (this.position >= this.step) {
        this.position -= this.step;
        if (this.count > 0) {
          this.last = this.sum / this.count;
        }
        this.sum = 0;
        this.count = 0;
        this.emit(this.last);
      }
    }
  }

  emit(sample) {
    const clipped = Math.max(-1, Math.min(1, sample));
    this.block[this.filled++] = Math.round(clipped < 0 ? clipped * 32768 : clipped * 32767);
    if (this.filled === BLOCK_SAMPLES) {
      this.onBlock(this.block);
      this.block = new Int16Array(BLOCK_SAMPLES);
      this.filled = 0;
    }
  }
}

// The block's samples as little-endian bytes in base64, the "pcm" message's "data".
export function blockToBase64(samples) {
  const bytes = new Uint8Array(samples.length * 2);
  const view = new DataView(bytes.buffer);
  samples.forEach((sample, i) => view.setInt16(i * 2, sample, true));
  let binary = '';
  for (let i = 0; i < bytes.length; i += 0x8000) {
    binary += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  }
  return btoa(binary);
}
