// What the overlay shows: finished lines that stay still, and the line still forming.

const segmentNumber = (caption) => Number(caption.segment);

export class CaptionLines {
  constructor(finalLines = 1) {
    this.finalLines = finalLines;
    this.finals = [];
    this.forming = null;
    this.lastFinal = -1;
  }

  // Takes one "caption" event; true when what is shown changed.
  apply(caption) {
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
    }
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
