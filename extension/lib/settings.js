// The user's choices, kept in the extension's local storage; these are the defaults.
export const DEFAULTS = {
  target: '',          // language code to translate into; empty until chosen
  mode: 'both',        // "both", "translation" or "source"
  size: 'medium',      // "small", "medium" or "large"
  position: 'bottom',  // "bottom" or "top"
  lines: 1,            // finished lines kept on screen
  format: 'srt',       // subtitle file format: "srt", "vtt" or "txt"
};
