// The upper layer's records and its inner operations. Private to
// engine/sound; tests use it to look inside.
#pragma once

#include "engine/sound/ds.h"
#include "engine/sound/snd_sources.h"
#include "engine/sound/sound.h"

#include <cstdint>
#include <string>
#include <vector>

inline constexpr uint32_t SND_WAV = 0;
inline constexpr uint32_t SND_MP3 = 1;
inline constexpr uint32_t SND_OGG = 2;

// A named sound, loaded once and shared.
struct sndRec {
    std::string name;          // as it was asked for; compared without regard to case
    void* handle = nullptr;    // the source
    int32_t references = 1;    // instances that use it
    uint32_t type = SND_WAV;
};

// A sound played at a position.
struct sndInst {
    void* handle = nullptr;
    int32_t channel = -1;      // the channel it was last started on; -1 none
    int32_t x = 0, y = 0;
    uint32_t kind = 0;         // 0 effect, 1 music
    uint32_t type = SND_WAV;
    bool autoFree = false;     // freed by the system when it loses its channel
    int32_t volume = 100;
};

struct sndState {
    bool initialised = false;
    std::vector<sndRec*> sounds;
    sndInst* channelInstances[DS_CHANNELS] = {};
    int32_t listenerX = 0, listenerY = 0;
    int32_t effectsVolume = 100;
    int32_t musicVolume = 100;
    bool effectsEnabled = true;
    bool musicEnabled = true;
    bool globalFocus = false;
};

extern sndState snd;

void* sndLoad(const char* name, uint32_t* type);
void sndUnload(sndRec* rec);
sndRec* sndFindByName(const char* name);
sndRec* sndFindByHandle(const void* handle);
sndInst* sndInstCreate(const char* name, int32_t x, int32_t y, bool autoFree);
void sndInstFree(sndInst* inst);
int32_t sndInstStart(sndInst* inst);
// priority outside 0..255: computed from the distance.
void sndInstPlay(sndInst* inst, int32_t volume, int32_t pan, uint32_t flags, int32_t priority);
void sndInstStop(sndInst* inst);
void sndApplyVolume(uint32_t kind);
void sndStopEffects();
int32_t sndDistVolume(const sndInst* inst);
int32_t sndPan(const sndInst* inst);
uint8_t sndPriority(const sndInst* inst);
