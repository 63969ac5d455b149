// The racing game: the race with its gates and laps, the car, the two
// on-screen buttons, and the hooks the application framework calls
// (declared in engine/app/app.h).
//
// World and screen: the physics world's y axis points up, the screen's
// down; world point (x, y) is screen pel (x, -y), so the track lies at
// negative world y. A smaller sprite depth is nearer the viewer.
#pragma once

#include "engine/app/app.h"
#include "engine/gfx/gfx.h"
#include "engine/sound/sound.h"
#include "physics/physics.h"
#include "quarn/quarn.h"

#include <cstdint>
#include <memory>
#include <vector>

// ---------------------------------------------------------------------------
// Sounds.

// Plays a sound file through the sound system. Every sound of the game
// goes through here; a listener, when set, hears of each one first (the
// end-to-end tests follow the game by it).
void GamePlaySound(const char* path);
using GameSoundListener = void (*)(const char* path);
extern GameSoundListener g_soundListener;

// ---------------------------------------------------------------------------
// The race.

// A gate, or a motion: two end points in world coordinates.
struct Gate {
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

// Whether the motion (first segment) meets the gate (second), end points
// included. Parallel segments never meet, and neither does a motion of
// zero length.
bool SegmentsIntersect(const Gate& motion, const Gate& gate);
quarn::math::Point2f GateMidpoint(const quarn::math::Point2f& p, const quarn::math::Point2f& q);

class Car;

// The rule keeper: the gates in passing order, the laps and the race clock.
class RaceState {
public:
    quarn::Stopwatch raceClock; // milliseconds of the race; paused at the finish
    int32_t lapsTotal = 0;
    int32_t lapsDone = 0;
    std::vector<Gate> gates;
    int32_t lastGate = 0; // passed last; a crash puts the car back at its middle
    quarn::RefPtr<Car> car;
    quarn::math::Point2f lastPos; // the car's position at the previous check
    int32_t nextGate = 0;

    // Appends the track's six gates in order.
    void BuildGates();
    // Shares the car and starts the motion at its position.
    void AttachCar(const quarn::RefPtr<Car>& newCar);
    // A new race: clock from 0, three laps, the last gate counts as passed.
    void Reset();
    // Checks the car's motion since the previous check against the next
    // gates, playing "DATA/checkpoint.wav" per gate and "DATA/lap.wav" per
    // lap; pauses the clock at the finish.
    void Update();
    // True before the first Reset too.
    bool IsFinished() const { return lapsDone >= lapsTotal; }
};

// ---------------------------------------------------------------------------
// The car.

class Car : public quarn::dyn::RigidBody {
public:
    imgsCTy frames; // picture i: turned counter-clockwise by i/n of a turn
    sprImgCTy sprite;
    float engineForce = 400.1f; // units per second squared along the heading
    float turnRate = 14.02f;    // radians per second squared
    float timeAccu = 0;         // seconds not yet used by control sub-steps

    Car() = default;
    // The sprite must be out of its list first (RemoveSprite).
    ~Car() override = default;

    // Reads "DATA/car.imgs" and "DATA/car.obst", puts the sprite on screen
    // at depth -10 and sets mass 100 and inertia 400. Throws a
    // quarn::Exception naming the file when the shape cannot be read or
    // the picture set holds no picture.
    void Load();
    // At rest at (x, y), angle 0. The control time left over is kept.
    void Place(int32_t x, int32_t y);
    // The arrow keys, applied for dt seconds.
    void Control(float dt);
    // Control sub-steps of 0.01 s for the frame time dt (the rest is carried
    // over), with their damping; then the picture nearest the heading,
    // centred on the body.
    void Update(float dt);
    void RemoveSprite();

    // The picture for a heading of `angle` radians among n pictures.
    static int32_t FrameIndex(float angle, int32_t n);
};

// ---------------------------------------------------------------------------
// Buttons.

class PushButton {
public:
    imgRowCTy images[2]; // normal, pressed
    sprImgCTy sprite;

    PushButton() = default;
    virtual ~PushButton() = default;
    PushButton(const PushButton&) = delete;
    PushButton& operator=(const PushButton&) = delete;

    // "DATA/<name>0.bmp" and "DATA/<name>1.bmp", at the configuration's
    // "<name>_x" and "<name>_y", at `depth`.
    void Load(const char* name, int32_t depth);
    // Pressed look while the left button is held over it; the release over
    // it clicks (OnClick, then "DATA/click.wav").
    void Update();
    virtual void OnClick() = 0;
};

class NewGameButton : public PushButton {
public:
    void OnClick() override;
};

class ExitButton : public PushButton {
public:
    void OnClick() override;
};

// ---------------------------------------------------------------------------
// The game's globals and functions. g_sprites (the screen's sprite list)
// is engine/gfx's.

// The music player: made by GameInit, gone at GameShutdown.
extern std::unique_ptr<MidiPlayer> g_music;
extern quarn::dyn::World g_world;
extern quarn::RefPtr<Car> g_car;
extern RaceState g_race;
extern quarn::Stopwatch g_frameClock;
extern imgRowCTy g_bkgImage, g_gameOverImage, g_cursorImage;
extern sprImgCTy g_bkgSprite, g_gameOverSprite, g_cursorSprite;
extern sprDfStrCTy g_timeText, g_lapText, g_bestText;
extern ExitButton g_exitButton;
extern NewGameButton g_newButton;

// The start pose of every race.
inline constexpr int32_t START_X = 92;
inline constexpr int32_t START_Y = -133;
inline constexpr float START_ANGLE = 1.0471976f;

void NewRace();
// Buttons, the screenshot keys (F5, F9) and the frame's second input poll.
// A screenshot asked for is taken by GameScreenshotAsked.
void GameUi();
// Saves the screenshot F5 or F9 asked for, if any: the back surface as the
// frame just drawn left it, which is the frame the player sees. Called by
// GameDraw between the sprites' draw and the present.
void GameScreenshotAsked();
// x and y from the configuration keys "<key>_x" and "<key>_y" (0 when absent).
void GetConfigPos(int32_t* x, int32_t* y, const char* key);
void AddSprite(sprCTy* sprite, int32_t depth, int32_t x, int32_t y);
void AddImageSprite(sprImgCTy* sprite, imgCTy* image, int32_t depth, int32_t x, int32_t y);
void AddImageSpriteAt(sprImgCTy* sprite, imgCTy* image, int32_t depth, const char* key);
void AddTextSprite(sprDfStrCTy* sprite, const char* font, int32_t depth, int32_t x, int32_t y);
void AddTextSpriteAt(sprDfStrCTy* sprite, const char* font, int32_t depth, const char* key);

// Race times as the screen shows them: "m:ss" ("%d:%02d"), or "--:--" for
// no time (0 or less).
void FormatRaceTime(char* out, size_t size, int32_t ms);
// The first "<name>_<n>.bmp" in the current folder (the game's) that
// nothing has yet, a link that leads nowhere included: one file name,
// never a path. `name` is the window's title, a caption: '/' and control
// characters become '_', as does a leading '.'; '\' stays a letter of
// the name. An empty one is "screenshot", and one too long for `size` or
// for the save (every name the save makes of it, imgSaveNameMost) is cut
// at a letter's boundary. False only when not even the number fits.
bool ScreenshotName(char* out, size_t size, const char* name);
// Saves `screen` as a new picture in the game's folder (the current one)
// under ScreenshotName's name for the caption `title`: the write every
// screenshot goes through. A screenshot is worth less than the race: its
// failure is reported once, with the name and the way out, and fails it
// alone. 0, or the code reported.
int SaveScreenshot(imgCTy* screen, const char* title);
// The best time after a race of `raceMs`: the race when there is no best
// time yet (0 or less) or the race is faster.
int32_t BestResult(int32_t best, int32_t raceMs);
