// The real plug-in in the hosts users have, through the dialog: a partial
// host (8-bit colours in the 16-bit fields, parameters dropped between runs)
// and a host with floating-point exceptions unmasked. Each picture is compared
// pixel by pixel with the same plot in a host that follows the API.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/wine/dialog_user.h"
#include "tests/wine/plugin_fixture.h"

namespace {

struct Shape {
  int32_t width, height, colorPlanes;
  bool alpha;
  int32_t depth;
};

const Shape kShapes[] = {{61, 43, 3, false, 8}, {40, 30, 1, true, 16}};

class HostQuirks : public PluginFixture {
 protected:
  static HostOptions Colored() {
    HostOptions options;
    options.foreground = {0xFFFF, 0x8080, 0x0000};  // bytes times 257: the same colour in both scales
    options.background = {0x1010, 0x2020, 0xC8C8};
    return options;
  }

  void MakePicture(const Shape& shape) {
    ASSERT_TRUE(MakeImage(&image, shape.width, shape.height, shape.colorPlanes, shape.alpha, shape.depth));
    FillGradient(&image);
  }

  // The plot in a host that follows the API, the values given as saved settings.
  HostImage Reference(const Shape& shape, FilterParameters values) {
    Open(Colored());
    MakePicture(shape);
    SetParameters(session, &values, sizeof values);
    EXPECT_EQ(RunFilter(session, &image, HostRunOptions{}).result, noErr);
    HostImage plotted = image;
    TearDown();
    return plotted;
  }

  // A run through the dialog in the open session, on a fresh picture.
  HostImage ThroughDialog(const Shape& shape) {
    MakePicture(shape);
    HostRunOptions run;
    run.showDialog = true;
    HostRunReport report = RunFilter(session, &image, run);
    EXPECT_EQ(report.result, noErr) << report.error;
    return image;
  }
};

}  // namespace

TEST_F(HostQuirks, APartialHostShowsTheColoursAndKeepsTheUsersSettings) {
  for (const Shape& shape : kShapes) {
    SCOPED_TRACE(testing::Message() << shape.colorPlanes << " planes, " << shape.depth << "-bit");
    const HostImage expected = Reference(shape, {drawSpiral, 1234});
    LoadFreshPlugin();  // a new editor process
    DialogUser user;
    user.chooseSpiral = true;
    user.typeShift = "1234";
    HostOptions options = Colored();
    ASSERT_TRUE(ApplyHostProfile("partial", &options));
    options.dialogHook = UseDialog;
    options.dialogContext = &user;
    Open(options);

    EXPECT_EQ(ThroughDialog(shape).pixels, expected.pixels);
    EXPECT_FALSE(user.spiralShown);  // the first run opened on the defaults
    EXPECT_EQ(user.shiftShown, "0");

    user = DialogUser();  // next time the user only presses OK
    EXPECT_EQ(ThroughDialog(shape).pixels, expected.pixels);
    EXPECT_TRUE(user.acted);
    EXPECT_TRUE(user.spiralShown);
    EXPECT_EQ(user.shiftShown, "1234");
    EXPECT_EQ(ShowAbout(session), noErr);  // the preset 1 is overwritten
    TearDown();
  }
}

TEST_F(HostQuirks, UnmaskedFloatingPointChangesNothing) {
  for (const char* profile : {"unmasked-fp", "partial"}) {
    for (const Shape& shape : kShapes) {
      SCOPED_TRACE(testing::Message() << profile << ", " << shape.colorPlanes << " planes, " << shape.depth << "-bit");
      const HostImage expected = Reference(shape, {drawNormal, 7});
      HostOptions options = Colored();
      ASSERT_TRUE(ApplyHostProfile("unmasked-fp", &options));
      ASSERT_TRUE(ApplyHostProfile(profile, &options));
      DialogUser user;
      user.typeShift = "7";
      options.dialogHook = UseDialog;
      options.dialogContext = &user;
      Open(options);
      const FilterParameters values = {drawNormal, 7};
      SetParameters(session, &values, sizeof values);
      EXPECT_EQ(ThroughDialog(shape).pixels, expected.pixels);
      EXPECT_TRUE(user.acted);
      EXPECT_EQ(ShowAbout(session), noErr);
      EXPECT_EQ(session->log.floatingPointExceptions, 0);
      EXPECT_EQ(session->log.floatingPointStateChanged, 0);
      TearDown();
    }
  }
}
