// The sound system's upper layer: named sounds loaded once and shared by
// reference count, and instances that play them with a volume, pan and
// priority from their distance to the listener. Main thread only.
#include "engine/sound/snd_system.h"

#include "engine/base/err.h"
#include "engine/base/file.h"
#include "engine/sound/snd_log.h"
#include "engine/sound/sound_device.h"
#include "platform/shown_text.h"
#include "quarn/File.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

sndState snd;

namespace {

void close_source(void* handle, uint32_t type)
{
    switch (type) {
    case SND_WAV: wavClose(static_cast<wavSource*>(handle)); break;
    case SND_MP3: mp3Close(static_cast<mp3Source*>(handle)); break;
    case SND_OGG: oggClose(static_cast<oggSource*>(handle)); break;
    }
}

// Names and extensions compare without regard to ASCII case.
bool same_text(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b)
        if (std::tolower(uint8_t(*a)) != std::tolower(uint8_t(*b)))
            return false;
    return *a == *b;
}

bool same_name(const std::string& a, const char* b) { return same_text(a.c_str(), b); }

} // namespace

void sndInit(platform::WindowHandle window)
{
    snd.initialised = false;
    dsInit(window);
    snd.initialised = true;
    snd.sounds.clear();
    snd.sounds.reserve(10);
    for (auto& c : snd.channelInstances)
        c = nullptr;
    snd.effectsEnabled = snd.musicEnabled = true;
    snd.listenerX = snd.listenerY = 0;
    snd.effectsVolume = snd.musicVolume = 100;
    sndSetGlobalFocus(0);
}

void sndSetGlobalFocus(uint32_t flag)
{
    snd.globalFocus = flag != 0;
    dsSetGlobalFocus(snd.globalFocus);
}

void sndActivateApp(bool active) { dsSetAppActive(active); }

platform::AudioFormat sndOutputFormat()
{
    snd_device::Device* device = dsDevice();
    return device ? device->format() : platform::AudioFormat{0, 0};
}

sndRec* sndFindByName(const char* name)
{
    for (auto* r : snd.sounds)
        if (same_name(r->name, name))
            return r;
    return nullptr;
}

sndRec* sndFindByHandle(const void* handle)
{
    for (auto* r : snd.sounds)
        if (r->handle == handle)
            return r;
    return nullptr;
}

void* sndLoad(const char* name, uint32_t* type)
{
    if (!snd.initialised || !name)
        return nullptr;
    if (sndRec* r = sndFindByName(name)) {
        ++r->references;
        *type = r->type;
        return r->handle;
    }
    char ext[260];
    pathSplit(name, nullptr, 0, nullptr, 0, ext, sizeof ext);
    auto* rec = new sndRec{name, nullptr, 1, SND_WAV};
    const int code = errTry([&] {
        if (same_text(ext, ".wav")) {
            rec->handle = wavOpen(name);
            rec->type = SND_WAV;
        } else if (same_text(ext, ".mp3")) {
            rec->handle = mp3Open(name);
            rec->type = SND_MP3;
        } else if (same_text(ext, ".ogg")) {
            rec->handle = oggOpen(name);
            rec->type = SND_OGG;
        } else {
            (void)errMessage(ERR_LEVEL_ERROR, "Unknown sound format!");
        }
    });
    if (code != 0 || !rec->handle) {
        quarn::open_entry(snd_log_warning) << "can't read the sound \"" << platform::shown_text(name ? name : "")
                                           << "\"; it plays as silence"
                                           << std::endl;
        delete rec;
        return nullptr;
    }
    *type = rec->type;
    snd.sounds.push_back(rec);
    return rec->handle;
}

void sndUnload(sndRec* rec)
{
    close_source(rec->handle, rec->type);
    std::erase(snd.sounds, rec);
    delete rec;
}

sndInst* sndInstCreate(const char* name, int32_t x, int32_t y, bool autoFree)
{
    if (!snd.initialised || !name)
        return nullptr;
    auto* inst = new sndInst;
    inst->x = x;
    inst->y = y;
    inst->autoFree = autoFree;
    inst->handle = sndLoad(name, &inst->type);
    if (!inst->handle) {
        delete inst;
        return nullptr;
    }
    return inst;
}

void sndInstStop(sndInst* inst)
{
    if (!snd.initialised || !inst || inst->channel < 0 || inst->channel >= DS_CHANNELS)
        return;
    dsChanStop(inst->channel);
    snd.channelInstances[inst->channel] = nullptr;
    inst->channel = -1;
}

void sndInstFree(sndInst* inst)
{
    if (!snd.initialised || !inst)
        return;
    if (inst->channel >= 0)
        sndInstStop(inst);
    if (sndRec* r = sndFindByHandle(inst->handle))
        if (--r->references <= 0)
            sndUnload(r);
    delete inst;
}

namespace {

int32_t distance(const sndInst* inst)
{
    const int64_t dx = int64_t(inst->x) - snd.listenerX, dy = int64_t(inst->y) - snd.listenerY;
    return int32_t(std::sqrt(double(dx * dx + dy * dy)));
}

} // namespace

int32_t sndDistVolume(const sndInst* inst)
{
    if (!snd.initialised || !inst)
        return 0;
    const int32_t d = distance(inst);
    if (d >= 8000)
        return 0;
    const int32_t v = inst->volume * (inst->kind == 0 ? snd.effectsVolume : snd.musicVolume) / 100;
    return v - int32_t(v * d * 0.000125);
}

int32_t sndPan(const sndInst* inst)
{
    if (!snd.initialised || !inst)
        return 0;
    const double dx = double(int64_t(inst->x) - snd.listenerX);
    return std::clamp(int32_t(std::clamp(dx * snd.effectsVolume * 0.000125, -1e6, 1e6)), -100, 100);
}

uint8_t sndPriority(const sndInst* inst)
{
    if (!snd.initialised || !inst)
        return 0;
    // Beyond 7968 units the formula falls below zero; such a sound is
    // silent anyway and gets the lowest priority instead of wrapping round.
    return uint8_t(std::max(0, int32_t(255 - distance(inst) * 0.032)));
}

void sndInstPlay(sndInst* inst, int32_t volume, int32_t pan, uint32_t flags, int32_t priority)
{
    if (!snd.initialised || !inst)
        return;
    if ((inst->kind == 0 && !snd.effectsEnabled) || (inst->kind == 1 && !snd.musicEnabled))
        return;
    if (priority < 0 || priority > 255)
        priority = sndPriority(inst);
    int32_t channel = -1;
    switch (inst->type) {
    case SND_WAV:
        channel = wavStart(static_cast<wavSource*>(inst->handle), uint8_t(priority), flags, volume, pan, 0, 10);
        break;
    case SND_MP3:
    case SND_OGG:
        // One decoder per source: a new start restarts the sound instead of
        // sharing the decoder with a channel that still plays it.
        dsChanStopContext(inst->handle);
        channel = inst->type == SND_MP3
                      ? mp3Start(static_cast<mp3Source*>(inst->handle), uint8_t(priority), flags, volume, pan, 0, 10)
                      : oggStart(static_cast<oggSource*>(inst->handle), uint8_t(priority), flags, volume, pan, 0, 10);
        break;
    }
    if (channel >= 0 && channel < DS_CHANNELS) {
        sndInst* previous = snd.channelInstances[channel];
        if (previous && previous != inst) {
            previous->channel = -1;
            snd.channelInstances[channel] = nullptr;
            if (previous->autoFree)
                sndInstFree(previous);
        }
        // A restarted stream may have left its own earlier channel.
        for (auto& entry : snd.channelInstances)
            if (entry == inst)
                entry = nullptr;
        snd.channelInstances[channel] = inst;
        inst->channel = channel;
    } else if (inst->autoFree) {
        sndInstFree(inst);
    }
}

int32_t sndInstStart(sndInst* inst)
{
    const int32_t v = sndDistVolume(inst);
    const int32_t p = sndPan(inst);
    sndInstPlay(inst, (v - 100) * 100, p * 100, 0, -1);
    return 0;
}

void sndPlayFile(const char* path)
{
    if (!path)
        return;
    char dir[260], name[260], ext[260];
    pathSplit(path, dir, sizeof dir, name, sizeof name, ext, sizeof ext);
    // The folder part keeps its own separator, so the stem is the two
    // joined as they are: the name reads as it was asked for ("DATA/hit"),
    // and a bare name is looked up as it stands.
    const std::string stem = std::string(dir) + name;
    std::string chosen = stem + ext;
    if (quarn::file_exists(chosen.c_str())) {
        int32_t variants = 0;
        while (quarn::file_exists((stem + std::to_string(variants + 1) + ext).c_str()))
            ++variants;
        const int32_t r = std::rand() % (variants + 1);
        if (r != 0)
            chosen = stem + std::to_string(r) + ext;
    }
    if (!snd.initialised || !snd.effectsEnabled)
        return;
    sndInstStart(sndInstCreate(chosen.c_str(), snd.listenerX, snd.listenerY, true));
}

void sndApplyVolume(uint32_t kind)
{
    for (int32_t c = 0; c < DS_CHANNELS; ++c) {
        sndInst* inst = snd.channelInstances[c];
        if (inst && inst->kind == kind)
            (void)dsChanSetVolume(c, (sndDistVolume(inst) - 100) * 100);
    }
}

void sndStopEffects()
{
    for (int32_t c = 0; c < DS_CHANNELS; ++c) {
        sndInst* inst = snd.channelInstances[c];
        if (!inst || inst->kind != 0 || inst->channel < 0 || inst->channel >= DS_CHANNELS)
            continue;
        dsChanStop(inst->channel);
        snd.channelInstances[c] = nullptr;
        inst->channel = -1;
        if (inst->autoFree)
            sndInstFree(inst);
    }
}

void sndSetVolume(int32_t volume)
{
    if (!snd.initialised)
        return;
    if (volume > 0) {
        snd.effectsVolume = std::min(volume, 100);
        snd.effectsEnabled = true;
        sndApplyVolume(0);
    } else {
        snd.effectsVolume = 0;
        if (snd.effectsEnabled) {
            snd.effectsEnabled = false;
            sndStopEffects();
        }
    }
}

void sndDone()
{
    if (!snd.initialised)
        return;
    for (auto& entry : snd.channelInstances)
        if (entry && entry->autoFree)
            sndInstFree(entry);
    // Records still used by instances that belong to their creators stay
    // with them; the rest are closed here with the table.
    dsDone();
    for (auto* r : snd.sounds) {
        close_source(r->handle, r->type);
        delete r;
    }
    snd.sounds.clear();
    for (auto& entry : snd.channelInstances)
        entry = nullptr;
    snd.initialised = false;
}
