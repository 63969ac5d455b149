// The game's side of the framework: the hooks, the globals and a new race.
#include "game/game.h"

#include "engine/gfx/display.h"
#include "engine/sound/sound.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <memory>

quarn::dyn::World g_world;
quarn::RefPtr<Car> g_car;
RaceState g_race;
quarn::Stopwatch g_frameClock;
imgRowCTy g_bkgImage, g_gameOverImage, g_cursorImage;
sprImgCTy g_bkgSprite, g_gameOverSprite, g_cursorSprite;
sprDfStrCTy g_timeText, g_lapText, g_bestText;
ExitButton g_exitButton;
NewGameButton g_newButton;

std::unique_ptr<MidiPlayer> g_music;
GameSoundListener g_soundListener = nullptr;

void GamePlaySound(const char* path)
{
    if (g_soundListener)
        g_soundListener(path);
    sndPlayFile(path);
}

void GamePreInit()
{
    std::srand(unsigned(std::time(nullptr)));
    g_race.BuildGates();
}

void GameInit()
{
    // The music: a player on the window, started when "music" is not 0; a
    // soundfont named by "soundfont" replaces the system's.
    MidiPlayer::SetSoundfont(g_app->cfg->GetStr("soundfont"));
    g_music = std::make_unique<MidiPlayer>(g_app->window);
    if (g_app->cfg->GetInt("music") != 0)
        g_music->Play("DATA/music.mid");
    inpPoll();
    gaShowCursor(1);

    // The background, converted once to the screen's pel format and made
    // the screen's size, so that the sprites redraw all of the screen.
    // Without a display (USE_GFX 0) it keeps the picture's own format and
    // the size the game is drawn for. A picture of another size is drawn
    // at the top left, cut where the screen ends, black where it ends.
    {
        imgRowCTy picture;
        (void)picture.LoadJpg("DATA/bkg.jpg"); // a missing picture is reported
        imgCTy* back = gMode.device ? gMode.device->back : nullptr;
        const pelFmtCTy* format = back ? &back->pelFmt : &picture.pelFmt;
        g_bkgImage.SetSize(back ? back->width : 800, back ? back->height : 600, format);
        g_bkgImage.Fill(0, nullptr);
        if (picture.width > 0)
            picture.Draw(&g_bkgImage, 0, 0, nullptr);
    }
    g_sprites.SetScrSize(g_bkgImage.width, g_bkgImage.height);
    AddImageSprite(&g_bkgSprite, &g_bkgImage, 100000, 0, 0);

    AddTextSpriteAt(&g_timeText, "DATA/big-digits", -1, "time");
    g_timeText.SetAlign(1);
    AddTextSpriteAt(&g_lapText, "DATA/big-digits", -1, "lap");
    g_lapText.SetAlign(1);
    AddTextSpriteAt(&g_bestText, "DATA/big-digits", -1, "hightime");
    g_bestText.SetAlign(1);

    (void)g_gameOverImage.Load("DATA/gameover.bmp");
    AddImageSpriteAt(&g_gameOverSprite, &g_gameOverImage, -4000, "game_over");
    g_gameOverSprite.Hide();

    (void)g_cursorImage.Load("DATA/cursor.bmp");
    g_cursorImage.SetColorKey(0xFF00FF00u);
    AddImageSprite(&g_cursorSprite, &g_cursorImage, -100000, inpMouseX(), inpMouseY());

    g_exitButton.Load("but_exit", -5);
    g_newButton.Load("but_new", -5);

    {
        quarn::RefPtr<quarn::dyn::Obstacle> track(new quarn::dyn::Obstacle);
        quarn::io::IArcStream in("DATA/track.obst");
        quarn::cls2::read_collidable(in, *track);
        if (track->primitives.empty())
            quarn::throw_exception("DATA/track.obst: the file holds no track");
        track->build_bounds(false);
        g_world.add_obstacle(track);
    }

    g_car = quarn::RefPtr<Car>(new Car);
    g_car->Load();
    g_world.add_body(g_car);

    sndSetVolume(g_app->cfg->CheckInt("snd_volume", {.lo = 0, .hi = 100, .clamp = true}));
    NewRace();
}

void NewRace()
{
    GamePlaySound("DATA/start.wav");
    g_car->Place(START_X, START_Y);
    g_car->set_angle(START_ANGLE);
    g_race.AttachCar(g_car);
    g_race.Reset();
    g_frameClock.set(0);
}

int GameFrame()
{
    if (!g_race.IsFinished()) {
        // The frame time in seconds from the clock's ticks: whole
        // milliseconds would lose the remainder every frame, and the race
        // would run slow by up to a millisecond a frame.
        const float dt = float(double(g_frameClock.elapsed_ticks()) / double(quarn::get_tick_frequency()));
        g_world.step(dt);
        while (!g_world.contacts.empty()) {
            const quarn::RefPtr<quarn::dyn::Contact> contact = g_world.contacts.front();
            g_world.contacts.pop_front();
            if (!dynamic_cast<quarn::dyn::RigidStaticContact*>(contact.get()))
                continue;
            GamePlaySound("DATA/hit.wav");
            const float heading = g_car->angle();
            const Gate& gate = g_race.gates[size_t(g_race.lastGate)];
            const quarn::math::Point2f m = GateMidpoint({ gate.x1, gate.y1 }, { gate.x2, gate.y2 });
            g_car->Place(int32_t(std::trunc(m.x)), int32_t(std::trunc(m.y)));
            g_car->set_angle(heading);
        }
        g_car->Update(dt);
        g_race.Update();
    }
    g_frameClock.set(0);
    GameUi();
    g_cursorSprite.SetPos(inpMouseX(), inpMouseY());

    if (g_race.IsFinished()) {
        if (!g_gameOverSprite.visible) {
            GamePlaySound("DATA/gameover.wav");
            g_gameOverSprite.Show();
            const int32_t best = g_app->cfg->GetInt("best_result");
            const int32_t result = BestResult(best, int32_t(g_race.raceClock.elapsed_ms()));
            if (result != best)
                g_app->cfg->SetInt("best_result", result);
        }
    } else {
        g_gameOverSprite.Hide();
    }

    const int32_t t = int32_t(g_race.raceClock.elapsed_ms());
    g_timeText.Printf("%d:%02d", t / 60000, (t / 1000) % 60);
    g_lapText.Printf("%d:%d", g_race.lapsDone, g_race.lapsTotal);
    char best[32];
    FormatRaceTime(best, sizeof best, g_app->cfg->GetInt("best_result"));
    g_bestText.Printf("%s", best);
    return 0;
}

int GameDraw()
{
    if (gMode.device && gMode.device->back)
        g_sprites.Draw(gMode.device->back);
    // Before the present: a flip would put the frame out of reach.
    GameScreenshotAsked();
    gPresent();
    return 1;
}

void GameShutdown()
{
    // Before the sound system stops: the player leaves the mix first.
    g_music.reset();
    if (g_car)
        g_car->RemoveSprite();
}

int GameMessageHook(platform::WindowHandle, uint32_t message, uintptr_t, intptr_t)
{
    // The music's end message (posted from the stream's thread) starts the
    // tune again here, on the main thread.
    if (g_music)
        g_music->OnMessage(message);
    return 0;
}

void GameActivate()
{
    // All of the screen, whatever its size: in full screen the surfaces may
    // have been lost while the window was away. Before GameInit the screen
    // is empty and nothing is marked.
    g_sprites.AddDirty(g_sprites.scr, g_sprites.scr, spr_DIRTY_FRAMES);
    gaShowCursor(0);
}
