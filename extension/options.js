// How subtitles look; each change is saved at once and reaches open overlays through storage.
import {DEFAULTS} from './lib/settings.js';

const fields = ['mode', 'size', 'position', 'lines'];
const stored = await chrome.storage.local.get(DEFAULTS);
for (const name of fields) {
  const field = document.getElementById(name);
  field.value = stored[name];
  field.addEventListener('change', async () => {
    const value = name === 'lines' ? Math.min(5, Math.max(1, Number(field.value) || 1)) : field.value;
    field.value = value;
    await chrome.storage.local.set({[name]: value});
    document.getElementById('saved').textContent = 'Saved.';
  });
}
