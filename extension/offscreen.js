// Owns the tab's audio: opens the captured stream, plays it back (capturing mutes the tab) and
// hands 100 ms blocks of 16 kHz mono audio to the service worker as they are made.

import {blockToBase64} from './lib/audio-blocks.js';

const worker = chrome.runtime.connect({name: 'audio'});
let loudest = 0; // peak level of the audio played back, for the curious and for tests

globalThis.quelvarPlayback = {peak: () => loudest};

async function capture(streamId) {
  const stream = await navigator.mediaDevices.getUserMedia({
    audio: {mandatory: {chromeMediaSource: 'tab', chromeMediaSourceId: streamId}},
    video: false,
  });
  const context = new AudioContext();
  if (context.state === 'suspended') {
    await context.resume(); // a context made without a click on the page may start paused
  }
  await context.audioWorklet.addModule('capture-worklet.js');
  const capturer = new AudioWorkletNode(context, 'quelvar-capture');
  // The worklet passes its input through unchanged, so what it measures is what is heard.
  context.createMediaStreamSource(stream).connect(capturer).connect(context.destination);
  capturer.port.onmessage = ({data}) => {
    loudest = Math.max(loudest, data.peak);
    worker.postMessage({type: 'audio', data: blockToBase64(data.block)});
  };
}

capture(new URLSearchParams(location.search).get('stream')).catch((error) => {
  worker.postMessage({type: 'capture-failed', detail: String(error.message || error)});
});
