// The page around the show: the question box, the picture in the page or full screen, the
// notice at the end, the keys, the sound (an AudioWorklet fed from the player's ring) and the
// automation surface `window.show` that tests and scripts read (see README.md).
'use strict';

const element = (id) => document.getElementById(id);

// The glyph outlines, baked from the desktop's font, fetched beside the program.
const glyphFile = fetch('glyphs.bin').then((response) => {
  if (!response.ok) throw new Error('glyphs.bin: ' + response.status);
  return response.arrayBuffer();
});

// The wave device's page side: the AudioContext, the worklet node that plays the ring, and the
// worklet's last report of how far it has taken the ring.
const audio = {
  context: null,
  node: null,
  playback: 0,
  report: null,
  stalled: 0,
  capture: null,
  captured: null,

  prepare() {
    try {
      this.context = new AudioContext({sampleRate: 44100, latencyHint: 'interactive'});
      this.ready = this.context.audioWorklet.addModule('ring_player.js').then(() => {
        this.node = new AudioWorkletNode(this.context, 'ring-player',
                                         {numberOfInputs: 0, outputChannelCount: [2]});
        this.node.connect(this.context.destination);
        this.node.port.onmessage = (event) => this.receive(event.data);
      });
    } catch (error) {
      this.ready = Promise.reject(error);
    }
    // Without a worklet (an insecure page, an old browser) the show runs silent on time.
    this.ready = this.ready.catch((error) => console.warn('no sound:', error.message));
  },

  // Called inside the user's gesture: the sound may start.
  resume() {
    if (this.context && this.context.state !== 'running') this.context.resume();
  },

  open(rate, channels) {
    return this.node !== null && this.context.sampleRate === rate && channels === 2;
  },

  start(ring) {
    this.playback += 1;
    this.report = null;
    this.node.port.postMessage({kind: 'start', playback: this.playback, ring,
                                capture: this.capture}, [ring.buffer]);
    this.capture = null;
  },

  sendBlock(block, pcm) {
    this.node.port.postMessage({kind: 'block', playback: this.playback, block, pcm},
                               [pcm.buffer]);
  },

  stop() {
    this.playback += 1;
    this.report = null;
    if (this.node) this.node.port.postMessage({kind: 'stop'});
  },

  receive(message) {
    if (message.kind === 'captured') {
      this.captured = message.pcm;
      return;
    }
    if (message.playback !== this.playback) return;
    this.report = {taken: message.taken, contextFrame: message.contextFrame,
                   arrivedAt: performance.now()};
    this.stalled = message.stalled;
    Module._web_keep_ring_filled();
  },

  // Frames taken from the ring, how many of them were not yet heard, and when that held
  // (performance.now() milliseconds): from the context's output timestamp where it gives one,
  // from its base and output latencies at the report's arrival otherwise.
  figures() {
    const report = this.report;
    if (!report) return {taken: 0, queued: 0, reportedMs: performance.now()};
    const rate = this.context.sampleRate;
    const stamp = this.context.getOutputTimestamp ? this.context.getOutputTimestamp() : {};
    let heardFrame = report.contextFrame -
        (this.context.baseLatency + (this.context.outputLatency || 0)) * rate;
    let at = report.arrivedAt;
    if (stamp.contextTime > 0 && stamp.performanceTime > 0) {
      heardFrame = stamp.contextTime * rate;
      at = stamp.performanceTime;
    }
    return {taken: report.taken, queued: Math.max(0, report.contextFrame - heardFrame),
            reportedMs: at};
  },
};

// The page's side of the program's calls (app/web_page.cpp).
const page = {
  state: 'loading',
  fullScreen: false,
  answeredAt: null,
  firstFrameMs: null,
  framesDrawn: 0,
  clockMs: 0,
  grabbed: [],
  visibility: [],

  latin1(heap, pointer) {
    let text = '';
    for (let at = pointer; heap[at] !== 0; at++) text += String.fromCharCode(heap[at]);
    return text;
  },

  moduleReady() {
    Promise.all([glyphFile, audio.ready]).then(([glyphs]) => {
      const bytes = new Uint8Array(glyphs);
      const pointer = Module._malloc(bytes.length);
      Module.HEAPU8.set(bytes, pointer);
      element('loading').hidden = true;
      if (!Module._web_start(pointer, bytes.length)) this.fail('This browser cannot draw the show.');
      Module._free(pointer);
    }).catch((error) => this.fail(error.message));
  },

  fail(text) {
    element('loading').querySelector('p').textContent = text;
    element('loading').hidden = false;
    this.state = 'failed';
  },

  askQuestion(text, caption) {
    element('question-text').textContent = text;
    element('question-caption').textContent = caption;
    element('ended').hidden = true;
    element('question').hidden = false;
    element('yes').focus();
    this.state = 'question';
  },

  // The answer is the user's gesture: the sound starts and full screen may be asked for.
  answer(yes) {
    if (this.state !== 'question') return;
    element('question').hidden = true;
    audio.resume();
    this.answeredAt = performance.now();
    this.firstFrameMs = null;
    Module._web_answer(yes ? 1 : 0);
  },

  openPicture(fullScreen, title) {
    document.title = title;
    this.fullScreen = fullScreen;
    this.state = 'playing';
    element('toggle').disabled = false;
    element('canvas').focus();
    if (fullScreen && !document.fullscreenElement) {
      element('stage').requestFullscreen().catch((error) => console.warn(error.message));
    }
  },

  closePicture() {
    if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
  },

  showEnded() {
    this.closePicture();
    this.state = 'ended';
    element('toggle').disabled = true;
    element('ended').hidden = false;
    element('again').focus();
  },

  frameDrawn(clockMs) {
    this.clockMs = clockMs;
    this.framesDrawn += 1;
    if (this.firstFrameMs === null) this.firstFrameMs = performance.now() - this.answeredAt;
  },

  frameGrabbed(requestedMs, clockMs, rgba) {
    this.grabbed.push({requestedMs, clockMs, rgba});
  },

  // Keys reach the show while it plays, by their virtual-key codes; F1 and Escape are the
  // show's, not the browser's.
  key(event, down) {
    if (this.state === 'question' && down && event.key === 'Enter' &&
        !(document.activeElement instanceof HTMLButtonElement)) {
      this.answer(true);  // Yes is the default
      return;
    }
    if (this.state !== 'playing' && down) return;  // a key let go always reaches the show
    if (event.keyCode === 27 || event.keyCode === 112) event.preventDefault();
    Module._web_key(event.keyCode, down);
  },
};

var Module = {
  canvas: element('canvas'),
  useWebGL: true,
  print: (text) => console.log(text),
  printErr: (text) => console.warn(text),
};

audio.prepare();
element('yes').addEventListener('click', () => page.answer(true));
element('no').addEventListener('click', () => page.answer(false));
element('again').addEventListener('click', () => Module._web_play_again());
element('toggle').addEventListener('click', () => {
  Module._web_key(112, true);
  Module._web_key(112, false);
});
document.addEventListener('visibilitychange', () => page.visibility.push(
    {state: document.visibilityState, framesDrawn: page.framesDrawn,
     clockMs: Module._web_clock_ms()}));
// The browser leaves full screen on its own Escape, which the page does not see: the show goes
// on in the page, and F1 goes back to full screen.
document.addEventListener('fullscreenchange', () => {
  if (!document.fullscreenElement && page.state === 'playing') Module._web_left_full_screen();
});
document.addEventListener('keydown', (event) => page.key(event, true));
document.addEventListener('keyup', (event) => page.key(event, false));

// Base64 of a byte view, for the automation surface.
function base64(bytes) {
  let text = '';
  for (let at = 0; at < bytes.length; at += 0x8000) {
    text += String.fromCharCode.apply(null, bytes.subarray(at, at + 0x8000));
  }
  return btoa(text);
}

// The automation surface. Times are song-clock milliseconds; sound is 16-bit stereo at
// 44100 Hz, left first, little-endian; pictures are 640 x 480 RGB, top row first.
window.show = {
  // 'loading', 'question', 'playing', 'ended' or 'failed'.
  state: () => page.state,
  // The song clock of the last frame drawn, and now.
  frameClockMs: () => page.clockMs,
  clockMs: () => Module._web_clock_ms(),
  // Frames of the song heard so far (the clock's source), taken by the worklet, and frames of
  // silence it played while a block it needed had not been refilled.
  framesHeard: () => Module._web_frames_heard(),
  framesTaken: () => (audio.report ? audio.report.taken : 0),
  stalledFrames: () => audio.stalled,
  framesDrawn: () => page.framesDrawn,
  // Each change of the page's visibility: the new state, the frames drawn and the clock then.
  visibilityChanges: () => page.visibility,
  fullScreen: () => document.fullscreenElement !== null,
  // Milliseconds from the answer to the first frame drawn.
  firstFrameMs: () => page.firstFrameMs,
  // Keeps the first `frames` frames the worklet takes of the next playback.
  captureSound(frames) {
    audio.captured = null;
    audio.capture = frames;
  },
  capturedSound: () => (audio.captured ? base64(new Uint8Array(audio.captured.buffer)) : null),
  // Reads back the first frame drawn at or past each time; framesGrabbed() counts them and
  // grabbedFrames() lists them.
  grabFrames(times) {
    page.grabbed = [];
    const pointer = Module._malloc(4 * times.length);
    Module.HEAPU32.set(times, pointer >> 2);
    Module._web_grab_frames(pointer, times.length);
    Module._free(pointer);
  },
  framesGrabbed: () => page.grabbed.length,
  grabbedFrames: () => page.grabbed.map((frame) => {
    const rgb = new Uint8Array(640 * 480 * 3);
    for (let y = 0; y < 480; y++) {
      for (let x = 0; x < 640; x++) {
        const from = 4 * ((479 - y) * 640 + x);
        rgb.set(frame.rgba.subarray(from, from + 3), 3 * (y * 640 + x));
      }
    }
    return {requestedMs: frame.requestedMs, clockMs: frame.clockMs, rgb: base64(rgb)};
  }),
  // Restarts the show silently, the clock stepped by `blocks` ring blocks per frame.
  stepShow: (blocks) => Module._web_step_show(blocks),
};
