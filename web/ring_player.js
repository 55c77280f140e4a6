// The page's wave device, on the audio rendering thread: it plays a copy of the player's ring
// of 16-bit stereo blocks, looping, and tells the page how far it has taken it. The page sends
// the whole ring once at the start and then each block again once the player has refilled it.
// A block is played on lap L of the ring only once the page has sent it L + 1 times, so a block
// that has not been refilled in time (a page too busy to refill) is never played again: the
// device plays silence and waits, and the frames it has taken stay the frames of the song. The
// block size is learnt from the first refilled block; until then only the first lap is ready.
//
// Messages from the page:
//   {kind: 'start', playback, ring (Int16Array), capture}  play a new ring from its start,
//                                  keeping its first `capture` frames taken when that is set
//   {kind: 'block', playback, block, pcm (Int16Array)}     a refilled block
//   {kind: 'stop'}                                          play silence from now on
// Messages to the page, every fourth render quantum and when a stall begins:
//   {kind: 'position', playback, taken, contextFrame, stalled}
//   {kind: 'captured', pcm (Int16Array)}                    the frames kept, once complete
const reportQuanta = 4;

class RingPlayer extends AudioWorkletProcessor {
  constructor() {
    super();
    this.ring = null;
    this.playback = 0;
    this.port.onmessage = (event) => this.receive(event.data);
  }

  receive(message) {
    if (message.kind === 'start') {
      this.ring = message.ring;
      this.playback = message.playback;
      this.ringFrames = this.ring.length / 2;
      this.blockFrames = 0;
      this.sent = null;
      this.taken = 0;
      this.stalled = 0;
      this.quanta = 0;
      this.waiting = false;
      this.capture = message.capture ? new Int16Array(message.capture * 2) : null;
      this.captured = 0;
    } else if (message.kind === 'block' && this.ring && message.playback === this.playback) {
      if (!this.sent) {
        this.blockFrames = message.pcm.length / 2;
        this.sent = new Uint32Array(this.ringFrames / this.blockFrames).fill(1);
      }
      this.ring.set(message.pcm, message.block * this.blockFrames * 2);
      this.sent[message.block] += 1;
    } else if (message.kind === 'stop') {
      this.ring = null;
    }
  }

  // Whether the frame the ring is at belongs to a block sent for the lap being played.
  frameReady() {
    const lap = Math.floor(this.taken / this.ringFrames);
    if (!this.sent) return lap === 0;
    const frame = this.taken % this.ringFrames;
    return this.sent[Math.floor(frame / this.blockFrames)] > lap;
  }

  keep(left, right) {
    if (!this.capture) return;
    this.capture[2 * this.captured] = left;
    this.capture[2 * this.captured + 1] = right;
    this.captured += 1;
    if (this.captured * 2 === this.capture.length) {
      this.port.postMessage({kind: 'captured', pcm: this.capture});
      this.capture = null;
    }
  }

  process(inputs, outputs) {
    const left = outputs[0][0];
    const right = outputs[0][1];
    if (!this.ring) return true;
    let stall = false;
    for (let i = 0; i < left.length; i++) {
      if (!this.frameReady()) {
        left[i] = 0;
        right[i] = 0;
        this.stalled += 1;
        stall = true;
        continue;
      }
      const at = 2 * (this.taken % this.ringFrames);
      left[i] = this.ring[at] / 32768;
      right[i] = this.ring[at + 1] / 32768;
      this.keep(this.ring[at], this.ring[at + 1]);
      this.taken += 1;
    }
    this.quanta += 1;
    if (this.quanta % reportQuanta === 0 || (stall && !this.waiting)) {
      this.port.postMessage({kind: 'position', playback: this.playback, taken: this.taken,
                             contextFrame: currentFrame + left.length, stalled: this.stalled});
    }
    this.waiting = stall;
    return true;
  }
}

registerProcessor('ring-player', RingPlayer);
