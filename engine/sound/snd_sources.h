// The sound sources: WAV, MP3 and Ogg Vorbis files turned into PCM for the
// channel layer. Each has open (by path; null on failure), start (hands it
// to a channel; the channel number or a negative result), its read
// function and close. Private to engine/sound.
#pragma once

#include "engine/sound/ds.h"

#include <cstddef>
#include <cstdint>

struct wavSource;
struct mp3Source;
struct oggSource;

// Parses a RIFF WAVE image into `info` (or a new one when null; free it
// with delete). The chunk walk stays inside the image; a data chunk that
// runs past its end is cut to what is there. Null for an image that is not
// a WAV with a data chunk, or whose format chunk is short.
[[nodiscard]] wavInfo* wavParse(wavInfo* info, const uint8_t* image, size_t length);
// The silent sound: 16-bit mono at 22050 Hz, four zero bytes.
const wavInfo& wavSilent();

// Always a source: a missing or damaged file plays as the silent sound.
[[nodiscard]] wavSource* wavOpen(const char* path);
[[nodiscard]] int32_t wavStart(wavSource* source, uint8_t priority, uint32_t flags, int32_t volume, int32_t pan, int32_t first,
                 int32_t last);
void wavClose(wavSource* source);
const wavInfo* wavSourceInfo(const wavSource* source);

[[nodiscard]] mp3Source* mp3Open(const char* path);
// Opens an MP3 image held in memory (a copy is kept); null when no stream
// is found or the decoder refuses it.
[[nodiscard]] mp3Source* mp3OpenImage(const uint8_t* data, size_t length);
[[nodiscard]] int32_t mp3Start(mp3Source* source, uint8_t priority, uint32_t flags, int32_t volume, int32_t pan, int32_t first,
                 int32_t last);
uint32_t mp3Read(void* source, uint8_t* dst, uint32_t position, uint32_t count, int32_t channel);
void mp3Close(mp3Source* source);
const dsFormat& mp3Format(const mp3Source* source);
// Rewinds the source to the stream's start, as a new start does.
void mp3Rewind(mp3Source* source);
// Where the first frame of the stream starts: after an ID3v2 tag, at the
// first header that another header follows at its frame's length. -1 when
// there is none.
int64_t mp3FirstFrame(const uint8_t* data, size_t length);

[[nodiscard]] oggSource* oggOpen(const char* path);
// Opens an Ogg Vorbis image held in memory (not copied: it must outlive
// the source).
[[nodiscard]] oggSource* oggOpenImage(const uint8_t* data, size_t length);
[[nodiscard]] int32_t oggStart(oggSource* source, uint8_t priority, uint32_t flags, int32_t volume, int32_t pan, int32_t first,
                 int32_t last);
uint32_t oggRead(void* source, uint8_t* dst, uint32_t position, uint32_t count, int32_t channel);
void oggClose(oggSource* source);
const dsFormat& oggFormat(const oggSource* source);
