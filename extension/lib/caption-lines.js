// What the overlay shows: finished lines that stay still, and the line still forming.

const segmentNumber = (caption) => Number(caption.segment);

// A segment can end with no words, and then no final comes for it: its forming line goes once no
// caption has renewed it for this long, so a stray partial cannot stay on the screen over silence.
export const FORMING_EXPIRY_MS = 4000;

export class CaptionLines {
  constructor(finalLines = 1) {
    this.finalLines = finalLines;
    this.finals = [];
    this.forming = null;
    this.formingSince = 0;
    this.lastFinal = -1;
  }

  // Takes one "caption" event received at `now` (ms); true when what is shown changed.
  apply(caption, now = 0) {
    const segment = segmentNumber(caption);
    if (!Number.isFinite(segment) || segment <= this.lastFinal) {
      // A late partial of a segment that is already finished must not move a still line.
      return false;
    }
    const line = {source: caption.source, translation: caption.translation, segment};
    if (caption.final) {
      this.lastFinal = segment;
      this.finals.push(line);
      this.finals.splice(0, Math.max(0, this.finals.length - this.finalLines));
      if (this.forming && this.forming.segment <= segment) {
        this.forming = null;
      }
    } else {
      this.forming = line;
      this.formingSince = now;
    }
    return true;
  }

  // True when the forming line was dropped for having gone unrenewed too long.
  expireForming(now) {
    if (!this.forming || now - this.formingSince < FORMING_EXPIRY_MS) {
      return false;
    }
    this.forming = null;
    return true;
  }

  setFinalLines(count) {
    this.finalLines = Math.max(1, count);
    this.finals.splice(0, Math.max(0, this.finals.length - this.finalLines));
  }

  clear() {
    this.finals = [];
    this.forming = null;
    this.lastFinal = -1;
  }
}
