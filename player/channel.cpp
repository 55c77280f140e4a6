#include "player/channel.h"

ChannelState channels[channel_capacity];
Voice voices[voice_capacity];
