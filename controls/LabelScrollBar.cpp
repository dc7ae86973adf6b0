#include "controls/LabelScrollBar.h"

#include <QLabel>
#include <QScrollBar>
#include <algorithm>

TLabelScrollBar::TLabelScrollBar(QWidget* parent) : QWidget(parent) {
  resize(125, 15);
  FScrollBar = new QScrollBar(Qt::Horizontal, this);
  FScrollBar->setObjectName("ScrollBar");
  FScrollBar->setRange(0, 100);
  FLabel = new QLabel(this);
  FLabel->setObjectName("Label");
  FLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  FLabel->setText(QString::number(FScrollBar->value()));
  // valueChanged comes only when the position really moves, from a drag, an arrow or code.
  connect(FScrollBar, &QScrollBar::valueChanged, this, &TLabelScrollBar::Change);
  Layout();
}

int TLabelScrollBar::Minimum() const { return FScrollBar->minimum(); }
void TLabelScrollBar::SetMinimum(int v) { FScrollBar->setMinimum(v); }
int TLabelScrollBar::Maximum() const { return FScrollBar->maximum(); }
void TLabelScrollBar::SetMaximum(int v) { FScrollBar->setMaximum(v); }
int TLabelScrollBar::Value() const { return FScrollBar->value(); }

void TLabelScrollBar::SetValue(int v) {
  FScrollBar->setValue(v);
  FLabel->setText(QString::number(FScrollBar->value()));
}

void TLabelScrollBar::SetLabelMargin(int margin) {
  FLabelMargin = margin;
  Layout();
}

QColor TLabelScrollBar::LabelColor() const { return FLabel->palette().color(QPalette::Window); }

void TLabelScrollBar::SetLabelColor(const QColor& c) {
  QPalette pal = FLabel->palette();
  pal.setColor(QPalette::Window, c);
  FLabel->setPalette(pal);
  FLabel->setAutoFillBackground(true);
}

void TLabelScrollBar::Change(int position) {
  FLabel->setText(QString::number(position));
  if (onNewPosition) onNewPosition(this, position);
}

void TLabelScrollBar::Layout() {
  FScrollBar->setGeometry(0, 0, std::max(0, width() - LabelWidth - FLabelMargin), height());
  FLabel->setGeometry(width() - LabelWidth, 0, LabelWidth, height());
}

void TLabelScrollBar::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Layout();
}
