// Decides which audio blocks go to the speech host, numbered as the host expects them.

// After "AUDIO_OVERLOAD" the host has dropped a block; sending on at full pace only fills its
// queue again, so the sender pauses for a while, longer each time the overload repeats soon.
const PAUSE_MS = 1000;
const MAX_PAUSE_MS = 8000;

export class PcmSender {
  constructor(post) {
    this.post = post; // (message) => void, the speech host's port
    this.ready = false;
    this.sequence = 0;
    this.pauseUntil = -Infinity;
    this.pauseMs = PAUSE_MS;
    this.dropped = 0;
  }

  // The host answered "ready": numbering starts at 0 with the next block.
  start() {
    this.ready = true;
    this.sequence = 0;
  }

  // One captured block, at `now` (ms). Blocks before "ready" and while paused are dropped, never
  // kept for later: a saved-up burst would overflow the host's queue.
  block(data, now) {
    if (!this.ready || now < this.pauseUntil) {
      this.dropped += 1;
      return false;
    }
    this.post({version: 1, type: 'pcm', data, sequence: this.sequence});
    this.sequence += 1;
    return true;
  }

  // The host reported "AUDIO_OVERLOAD" at `now`.
  overloaded(now) {
    const repeated = now < this.pauseUntil + this.pauseMs;
    this.pauseMs = repeated ? Math.min(this.pauseMs * 2, MAX_PAUSE_MS) : PAUSE_MS;
    this.pauseUntil = now + this.pauseMs;
  }

  stop() {
    this.ready = false;
  }
}
