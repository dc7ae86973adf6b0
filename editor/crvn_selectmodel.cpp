#include "editor/crvn_selectmodel.h"

#include <QPushButton>

#include "ui_crvn_selectmodel.h"

Tfrm_selectmodel::Tfrm_selectmodel(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::Tfrm_selectmodel>()) {
  ui->setupUi(this);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  ui->lista_modelos->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  ui->btn_ok->setEnabled(false);
  connect(ui->lista_modelos, &QTreeWidget::itemSelectionChanged, this, [this] { lista_modelosClick(); });
  connect(ui->lista_modelos, &QTreeWidget::itemDoubleClicked, this, [this] { lista_modelosDblClick(); });
  connect(ui->btn_ok, &QPushButton::clicked, this, [this] { done(1); });
  connect(ui->btn_cancel, &QPushButton::clicked, this, [this] { done(2); });
}

Tfrm_selectmodel::~Tfrm_selectmodel() = default;

void Tfrm_selectmodel::AddModel(const std::string& name, int catalogueIndex, bool hasMesh) {
  auto* item = new QTreeWidgetItem(ui->lista_modelos);
  item->setText(0, QString::fromStdString(name));
  item->setText(1, hasMesh ? "Yes" : "No");
  item->setData(0, Qt::UserRole, catalogueIndex);
}

void Tfrm_selectmodel::ShowNoModels(const std::string& programFolder) {
  const QString folder = QString::fromStdString(programFolder);
  QString custom = folder;
  if (!custom.endsWith('/')) custom += '/';
  custom += "CustomModels";
  ui->lbl_nomodels->setText(
      QStringLiteral("No model is installed. Model files (.cvmx, with their .cvmd meshes and wire bitmaps) are read "
                     "from the program folder\n    %1\nand from its CustomModels folder\n    %2\n"
                     "The Model Compiler (File > Model Compiler...) makes them from a player mesh of a game "
                     "package or a model file.")
          .arg(folder, custom));
  ui->lbl_nomodels->setVisible(true);
}

int Tfrm_selectmodel::SelectedModel() const {
  QList<QTreeWidgetItem*> sel = ui->lista_modelos->selectedItems();
  return sel.isEmpty() ? -1 : sel.front()->data(0, Qt::UserRole).toInt();
}

void Tfrm_selectmodel::lista_modelosClick() { ui->btn_ok->setEnabled(SelectedModel() >= 0); }

void Tfrm_selectmodel::lista_modelosDblClick() {
  if (SelectedModel() >= 0) done(1);
}
