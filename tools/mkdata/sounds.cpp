#include "tools/mkdata/sounds.h"


#include <algorithm>
#include <cmath>

namespace mkdata {

namespace {

constexpr float pi = 3.14159265f;

// A mixing buffer in floating point.
struct Mix {
    std::vector<float> s;

    explicit Mix(float seconds) : s(size_t(seconds * sound_rate), 0.0f) {}

    // A tone from `start` for `length` seconds, with a short attack and an
    // exponential decay; `bend` multiplies the frequency over the note.
    void tone(float start, float length, float freq, float volume, float bend = 1, float decay = 6,
        bool square = false)
    {
        const size_t first = size_t(start * sound_rate);
        const size_t count = size_t(length * sound_rate);
        float phase = 0;
        for (size_t i = 0; i < count && first + i < s.size(); ++i) {
            const float t = float(i) / sound_rate;
            const float f = freq * std::pow(bend, t / length);
            phase += 2 * pi * f / sound_rate;
            float wave = std::sin(phase) + 0.3f * std::sin(2 * phase) + 0.12f * std::sin(3 * phase);
            if (square)
                wave = std::sin(phase) > 0 ? 0.7f : -0.7f;
            const float attack = std::min(1.0f, t / 0.004f);
            const float release = std::min(1.0f, (length - t) / 0.01f);
            s[first + i] += wave * volume * attack * release * std::exp(-decay * t);
        }
    }

    // Filtered noise: `colour` near 1 is dull, near 0 is bright.
    void noise(float start, float length, float volume, float colour, float decay)
    {
        uint32_t seed = 12345;
        float low = 0;
        const size_t first = size_t(start * sound_rate);
        for (size_t i = 0; i < size_t(length * sound_rate) && first + i < s.size(); ++i) {
            seed = seed * 1664525u + 1013904223u;
            const float white = float(seed >> 8) / float(1u << 24) * 2 - 1;
            low = low * colour + white * (1 - colour);
            const float t = float(i) / sound_rate;
            s[first + i] += low * volume * std::exp(-decay * t) * std::min(1.0f, t / 0.002f);
        }
    }

    std::vector<int16_t> pcm() const
    {
        float peak = 0;
        for (float v : s)
            peak = std::max(peak, std::fabs(v));
        const float k = peak > 0 ? 0.8f * 32767 / peak : 0;
        std::vector<int16_t> out;
        for (float v : s)
            out.push_back(int16_t(std::lround(v * k)));
        return out;
    }
};

float note(int midi) { return 440.0f * std::pow(2.0f, float(midi - 69) / 12.0f); }

} // namespace

std::vector<Sound> make_sounds()
{
    std::vector<Sound> sounds;
    {
        // Three low beeps and a high one: the countdown.
        Mix t(2.0f);
        for (int i = 0; i < 3; ++i)
            t.tone(0.05f + 0.45f * float(i), 0.22f, note(69), 0.6f, 1, 4, true);
        t.tone(1.4f, 0.5f, note(81), 0.7f, 1, 3, true);
        sounds.push_back({ "start", t.pcm() });
    }
    {
        Mix t(0.25f);
        t.tone(0, 0.1f, note(84), 0.5f, 1, 10);
        t.tone(0.08f, 0.16f, note(91), 0.5f, 1, 12);
        sounds.push_back({ "checkpoint", t.pcm() });
    }
    {
        Mix t(0.8f);
        const int arpeggio[] = { 72, 76, 79, 84 };
        for (int i = 0; i < 4; ++i)
            t.tone(0.09f * float(i), 0.5f - 0.06f * float(i), note(arpeggio[i]), 0.45f, 1, 5);
        sounds.push_back({ "lap", t.pcm() });
    }
    {
        Mix t(0.45f);
        t.noise(0, 0.45f, 1.0f, 0.82f, 9);
        t.tone(0, 0.3f, 90, 0.9f, 0.5f, 10);
        sounds.push_back({ "hit", t.pcm() });
    }
    {
        Mix t(0.06f);
        t.noise(0, 0.012f, 0.6f, 0.2f, 200);
        t.tone(0, 0.05f, 1800, 0.4f, 0.6f, 80);
        sounds.push_back({ "click", t.pcm() });
    }
    {
        // A little fanfare, long enough to be streamed.
        Mix t(3.2f);
        const struct {
            float at, len;
            int n;
        } fanfare[] = { { 0.0f, 0.18f, 67 }, { 0.2f, 0.18f, 72 }, { 0.4f, 0.18f, 76 }, { 0.6f, 0.5f, 79 },
            { 1.15f, 0.18f, 76 }, { 1.35f, 1.6f, 79 } };
        for (const auto& f : fanfare) {
            t.tone(f.at, f.len + 0.2f, note(f.n), 0.5f, 1, 1.5f);
            t.tone(f.at, f.len + 0.2f, note(f.n - 12), 0.25f, 1, 1.5f);
        }
        t.tone(1.35f, 1.8f, note(72), 0.2f, 1, 1.2f);
        t.tone(1.35f, 1.8f, note(76), 0.2f, 1, 1.2f);
        sounds.push_back({ "gameover", t.pcm() });
    }
    return sounds;
}

std::vector<uint8_t> make_music()
{
    constexpr uint16_t division = 96; // ticks per quarter note
    auto var_len = [](std::vector<uint8_t>& out, uint32_t v) {
        uint8_t bytes[5];
        int n = 0;
        bytes[n++] = uint8_t(v & 0x7F);
        while (v >>= 7)
            bytes[n++] = uint8_t(0x80 | (v & 0x7F));
        while (n)
            out.push_back(bytes[--n]);
    };
    auto chunk = [](std::vector<uint8_t>& file, const char* id, const std::vector<uint8_t>& body) {
        file.insert(file.end(), id, id + 4);
        const uint32_t n = uint32_t(body.size());
        const uint8_t len[4] = { uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n) };
        file.insert(file.end(), len, len + 4);
        file.insert(file.end(), body.begin(), body.end());
    };
    // Notes as (start tick, length, key, velocity) on one channel.
    struct Note {
        uint32_t at, len;
        uint8_t key, velocity;
    };
    auto track = [&](uint8_t channel, uint8_t program, std::vector<Note> notes) {
        std::vector<uint8_t> t;
        var_len(t, 0);
        t.push_back(uint8_t(0xC0 | channel));
        t.push_back(program);
        struct Event {
            uint32_t at;
            bool on;
            uint8_t key, velocity;
        };
        std::vector<Event> events;
        for (const Note& n : notes) {
            events.push_back({ n.at, true, n.key, n.velocity });
            events.push_back({ n.at + n.len, false, n.key, 0 });
        }
        std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
            return a.at != b.at ? a.at < b.at : (!a.on && b.on);
        });
        uint32_t now = 0;
        for (const Event& e : events) {
            var_len(t, e.at - now);
            now = e.at;
            t.insert(t.end(), { uint8_t((e.on ? 0x90 : 0x80) | channel), e.key, e.velocity });
        }
        // The end of the track comes after the last note-off.
        var_len(t, division);
        t.insert(t.end(), { 0xFF, 0x2F, 0x00 });
        return t;
    };

    // Eight bars of 4/4 over I-vi-IV-V in C, twice.
    const uint8_t roots[4] = { 48, 45, 41, 43 };
    const int melody[32] = { 76, 79, 84, 79, 76, 72, 74, 76, 72, 76, 81, 76, 72, 69, 71, 72, 77, 81, 84, 81, 77, 74,
        76, 77, 79, 83, 86, 83, 79, 77, 76, 74 };
    std::vector<Note> lead, bass;
    for (int bar = 0; bar < 8; ++bar) {
        const uint32_t bar_at = uint32_t(bar) * division * 4;
        const uint8_t root = roots[bar % 4];
        for (int beat = 0; beat < 4; ++beat) {
            bass.push_back({ bar_at + uint32_t(beat) * division, division - 12, uint8_t(root - (beat % 2 ? 0 : 12)),
                90 });
            for (int half = 0; half < 2; ++half) {
                const int k = ((bar % 4) * 8 + beat * 2 + half);
                if (bar >= 4 && half == 1 && beat == 3)
                    continue;
                lead.push_back({ bar_at + uint32_t(beat) * division + uint32_t(half) * division / 2, division / 2 - 6,
                    uint8_t(melody[k] - (bar >= 4 ? 0 : 12)), 80 });
            }
        }
    }

    std::vector<uint8_t> tempo;
    var_len(tempo, 0);
    // 150 beats a minute: 400000 microseconds a quarter note.
    tempo.insert(tempo.end(), { 0xFF, 0x51, 0x03, 0x06, 0x1A, 0x80 });
    var_len(tempo, 0);
    tempo.insert(tempo.end(), { 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08 });
    var_len(tempo, 0);
    tempo.insert(tempo.end(), { 0xFF, 0x2F, 0x00 });

    std::vector<uint8_t> file;
    chunk(file, "MThd", { 0, 1, 0, 3, uint8_t(division >> 8), uint8_t(division & 0xFF) });
    chunk(file, "MTrk", tempo);
    chunk(file, "MTrk", track(0, 81, lead)); // lead synth
    chunk(file, "MTrk", track(1, 38, bass)); // synth bass
    return file;
}

} // namespace mkdata
