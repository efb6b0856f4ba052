// Content script: draws what the service worker sends, nothing else. The drawing code loads on
// first use, so pages that never show subtitles pay for one listener only.
(() => {
  if (globalThis.quelvarContentLoaded) {
    return; // injected again into a page that already had it
  }
  globalThis.quelvarContentLoaded = true;
  let overlay = null;
  const drawing = () => import(chrome.runtime.getURL('overlay.js'));
  const loadOverlay = () => (overlay ??= drawing().then((module) => module.createOverlay()));

  chrome.runtime.onMessage.addListener((message) => {
    if (message.type === 'captions') {
      loadOverlay().then((o) => o.show(message));
    } else if (message.type === 'captions-end') {
      if (overlay) {
        overlay.then((o) => o.hide());
      }
    } else if (message.type === 'translation') {
      drawing().then((module) => module.showTranslation(message));
    }
  });
  chrome.runtime.sendMessage({type: 'content-ready'}).catch(() => {});
})();
