// A session's final captions with the times they were heard, written as SRT, WebVTT or text.

const MIN_CUE_MS = 1000;

export class SubtitleLog {
  constructor() {
    this.firstHeard = new Map(); // segment -> ms since the session started
    this.cues = [];
  }

  // One "caption" event, heard `at` ms after the session started.
  record(caption, at) {
    const segment = caption.segment;
    if (!this.firstHeard.has(segment)) {
      this.firstHeard.set(segment, at);
    }
    if (caption.final) {
      const start = this.firstHeard.get(segment);
      this.firstHeard.delete(segment);
      this.cues.push({
        start,
        end: Math.max(at, start + MIN_CUE_MS),
        source: caption.source,
        translation: caption.translation,
      });
    }
  }
}

function timestamp(ms, separator) {
  const total = Math.max(0, Math.round(ms));
  const pad = (value, width) => String(value).padStart(width, '0');
  const hours = Math.floor(total / 3600000);
  const minutes = Math.floor(total / 60000) % 60;
  const seconds = Math.floor(total / 1000) % 60;
  return `${pad(hours, 2)}:${pad(minutes, 2)}:${pad(seconds, 2)}${separator}${pad(total % 1000, 3)}`;
}

// The lines of one cue for the chosen mode: "both", "translation" or "source". A cue never
// holds an empty line: it would end the cue in both formats.
function cueLines(cue, mode) {
  const lines = [];
  if (mode !== 'source') {
    lines.push(cue.translation);
  }
  if (mode !== 'translation') {
    lines.push(cue.source);
  }
  return lines.flatMap((text) => text.split(/\r?\n/)).map((text) => text.trim()).filter(Boolean);
}

const withText = (cues, mode) =>
  cues.map((cue) => ({...cue, lines: cueLines(cue, mode)})).filter((cue) => cue.lines.length);

export function toSrt(cues, mode = 'both') {
  return withText(cues, mode)
      .map((cue, i) => `${i + 1}\n${timestamp(cue.start, ',')} --> ${timestamp(cue.end, ',')}\n` +
           `${cue.lines.join('\n')}\n`)
      .join('\n');
}

export function toVtt(cues, mode = 'both') {
  // "-->" inside a cue's text would be read as a timing line.
  const body = withText(cues, mode)
      .map((cue) => `${timestamp(cue.start, '.')} --> ${timestamp(cue.end, '.')}\n` +
           `${cue.lines.map((line) => line.replaceAll('-->', '->')).join('\n')}\n`)
      .join('\n');
  return `WEBVTT\n\n${body}`;
}

export function toText(cues, mode = 'both') {
  return withText(cues, mode).map((cue) => cue.lines.join('\n') + '\n').join('\n');
}

export const FORMATS = {
  srt: {write: toSrt, extension: 'srt', type: 'application/x-subrip'},
  vtt: {write: toVtt, extension: 'vtt', type: 'text/vtt'},
  txt: {write: toText, extension: 'txt', type: 'text/plain'},
};
