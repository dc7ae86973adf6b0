#pragma once
// TLabelScrollBar: a horizontal scroll bar with a small label at its right that shows the
// position in decimal. onNewPosition fires on every change of the position, whether the user
// or the program made it, and only on a real change.
#include <QWidget>
#include <functional>

class QLabel;
class QScrollBar;

class TLabelScrollBar : public QWidget {
  Q_OBJECT

 public:
  static constexpr int LabelWidth = 25;
  explicit TLabelScrollBar(QWidget* parent = nullptr);

  int Minimum() const;
  void SetMinimum(int v);
  int Maximum() const;
  void SetMaximum(int v);
  int Value() const;
  void SetValue(int v);
  // Room kept free between the scroll bar and the label.
  int LabelMargin() const { return FLabelMargin; }
  void SetLabelMargin(int margin);
  QColor LabelColor() const;
  void SetLabelColor(const QColor& c);
  std::function<void(QObject* sender, int newPosition)> onNewPosition;

  QScrollBar* ScrollBar() const { return FScrollBar; }
  QLabel* Label() const { return FLabel; }
  QSize sizeHint() const override { return QSize(125, 15); }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Change(int position);
  void Layout();
  QLabel* FLabel;
  QScrollBar* FScrollBar;
  int FLabelMargin = 0;
};
