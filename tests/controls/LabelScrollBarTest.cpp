// The labelled scroll bar: the label follows the position, the event fires once per real change.
#include <gtest/gtest.h>

#include <QLabel>
#include <QScrollBar>

#include "controls/LabelScrollBar.h"
#include "platform_qt/QtTestApp.h"

TEST(LabelScrollBar, LabelAndEvent) {
  TestApp();
  TLabelScrollBar bar;
  std::vector<int> events;
  bar.onNewPosition = [&](QObject* sender, int pos) {
    EXPECT_EQ(sender, &bar);
    // The label shows the new position before the handler runs.
    EXPECT_EQ(bar.Label()->text().toInt(), pos);
    events.push_back(pos);
  };
  bar.SetMinimum(1);
  bar.SetMaximum(64);
  EXPECT_EQ(bar.Value(), 1);  // the old position 0 was clamped into the new range
  bar.SetValue(15);
  bar.SetValue(15);                                                      // no change: no event
  bar.SetValue(500);                                                     // clamped to the maximum
  bar.ScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);  // an arrow click
  bar.SetMaximum(30);                                                    // the position is pulled into the range
  EXPECT_EQ(events, (std::vector<int>{1, 15, 64, 63, 30}));
  EXPECT_EQ(bar.Label()->text(), "30");
}

TEST(LabelScrollBar, LabelMargin) {
  TestApp();
  struct {
    int width, margin, barWidth;
  } cases[] = {{125, 0, 100}, {125, 10, 90}, {81, 0, 56}, {30, 10, 0}};
  for (const auto& c : cases) {
    TLabelScrollBar bar;
    bar.resize(c.width, 15);
    bar.SetLabelMargin(c.margin);
    EXPECT_EQ(bar.ScrollBar()->geometry(), QRect(0, 0, c.barWidth, 15)) << c.width << " " << c.margin;
    EXPECT_EQ(bar.Label()->geometry(), QRect(c.width - 25, 0, 25, 15));
  }
}
