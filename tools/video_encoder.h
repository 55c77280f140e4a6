#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The recorder's video file, written through FFmpeg's libraries on a thread of its own beside
// the drawing. The container follows the file's extension: .mkv (H.264 at near-lossless
// quality and FLAC, the same bytes for the same frames), .mp4 (H.264 and AAC), .webm (VP9 and
// Opus), .webp (an animated picture without sound, for previews). Frames come as drawn (RGBA,
// bottom row first) with the 16-bit stereo sound played while each is on screen; the picture
// is scaled to fit the video's size and centred on black. One file per process.

struct VideoSettings {
    std::string path;
    int fps = 60;
    int width = 640;  // the video's picture size
    int height = 480;
    int frame_width = 640;  // the size frames are drawn at
    int frame_height = 480;
    int sample_rate = 44100;  // of the sound that comes with the frames
};

// True when the path ends in an extension the encoder writes.
bool video_container_known(const std::string& path);
// Opens the file with its streams and encoders and starts the encoder thread. False with the
// reason in video_failure(); close_video releases what was made.
bool open_video(const VideoSettings& settings);
// A picture buffer for the next frame, one the encoder has finished with when there is one.
std::vector<uint8_t> video_frame_buffer();
// Hands a frame and its sound (interleaved stereo) to the encoder, waiting while six frames
// wait already. False, with the frame dropped, once encoding has failed.
bool add_video_frame(std::vector<uint8_t> rgba, std::vector<int16_t> pcm);
// Stops the encoder thread after the frames handed to it, ending the file when `complete`
// (the sound and the pictures still held, then the trailer), and releases the file and the
// encoders. True when every frame and the end were written.
bool close_video(bool complete);
// Why writing stopped; empty while it goes on.
const std::string& video_failure();
