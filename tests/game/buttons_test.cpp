// Buttons: pressed look and clicks under the mouse, with other sprites in
// front of them.
#include "game/game.h"

#include "engine/blit/blit.h"

#include <gtest/gtest.h>

namespace {

class CountingButton : public PushButton {
public:
    void OnClick() override { ++clicks; }
    int clicks = 0;
};

// A 40 x 20 button at (100, 50) in a fresh sprite list, and a cover of
// 20 x 20 at (130, 50) whose left half is colour key.
class ButtonTest : public testing::Test {
protected:
    void SetUp() override
    {
        gfxInit(); // hit tests draw the pel under the mouse
        g_input = inpCTy {};
        g_sprites.SetScrSize(800, 600);
        const pelFmtCTy format(pel_FMT_R5G6B5);
        for (auto& image : button.images) {
            image.SetSize(40, 20, &format);
            image.Fill(0x1234, nullptr);
        }
        AddImageSprite(&button.sprite, &button.images[0], -5, 100, 50);
        cover.SetSize(20, 20, &format);
        cover.Fill(0x0000, nullptr);
        const rectTy left = { 0, 0, 10, 20 };
        cover.Fill(0xF81F, &left);
        cover.SetColorKeyPel(0xF81F);
        AddImageSprite(&cover_sprite, &cover, -4000, 130, 50);
        cover_sprite.Hide();
    }
    void TearDown() override
    {
        button.sprite.Remove();
        cover_sprite.Remove();
        g_input = inpCTy {};
    }

    // One frame with the mouse at (x, y) and the left button held or not.
    void Poll(int32_t x, int32_t y, bool held)
    {
        std::copy(std::begin(g_input.keys), std::end(g_input.keys), std::begin(g_input.prevKeys));
        g_input.keys[platform::vk::lbutton] = held ? 0x80 : 0;
        g_input.x = x;
        g_input.y = y;
        button.Update();
    }
    bool LooksPressed() { return button.sprite.image == &button.images[1]; }

    CountingButton button;
    imgRowCTy cover;
    sprImgCTy cover_sprite;
};

TEST_F(ButtonTest, ReleaseOverTheButtonClicks)
{
    const struct {
        int32_t press_x, release_x;
        bool pressed_look, click;
        const char* what;
    } cases[] = {
        { 110, 110, true, true, "press and release over it" },
        { 20, 110, false, true, "press beside, release over it" },
        { 110, 20, true, false, "press over, release beside it" },
    };
    for (const auto& c : cases) {
        button.clicks = 0;
        Poll(c.press_x, 60, false);
        Poll(c.press_x, 60, true);
        EXPECT_EQ(LooksPressed(), c.pressed_look) << c.what;
        Poll(c.release_x, 60, true);
        Poll(c.release_x, 60, false);
        EXPECT_EQ(button.clicks, c.click ? 1 : 0) << c.what;
        EXPECT_FALSE(LooksPressed()) << c.what;
    }
}

TEST_F(ButtonTest, ASpriteInFrontCoversItButNotWithKeyPels)
{
    cover_sprite.Show();
    for (const int32_t x : { 135, 136, 139 }) { // the cover's keyed half
        button.clicks = 0;
        Poll(x, 60, true);
        Poll(x, 60, false);
        EXPECT_EQ(button.clicks, 1) << x;
    }
    button.clicks = 0;
    Poll(138, 60, true);
    Poll(138, 60, false);
    Poll(138 + 3, 60, true); // the cover's drawn half
    EXPECT_FALSE(LooksPressed());
    Poll(138 + 3, 60, false);
    EXPECT_EQ(button.clicks, 1);
}

} // namespace
