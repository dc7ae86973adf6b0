#include "editor/PreviewInterface.h"

void TPreview::Attach(TEditorDocument& document, QWidget* area, TPreviewPanel panel) {
  FDocument = &document;
  FSubscription = document.AddObserver([this](unsigned changes, TSkinNode*) { DocumentChanged(changes); });
  AttachView(area, std::move(panel));
}

void TPreview::DocumentChanged(unsigned changes) {
  if (changes & dcProject) ProjectOpened();
  // One notice is one redraw, whatever it carries.
  if (changes & (dcProject | dcSelection | dcTextures | dcPalettes)) Redraw();
}

void TPreview::Redraw() {
  // Closing the window lets the current model go before the tree: nothing is left to dress.
  if (FDocument && FDocument->State().CurrentModel()) Draw3D();
}
