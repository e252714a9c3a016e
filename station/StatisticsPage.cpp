#include "StatisticsPage.h"

#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QTableView>
#include <QVBoxLayout>

#include "LineCharts.h"
#include "StatisticsModel.h"

namespace qx25::station {

StatisticsPage::StatisticsPage(QTableView& View, QWidget* Parent)
    : QWidget(Parent),
      Table(View),
      Replies(new ReplyTimeChart(this)),
      Faults(new TroubleChart(this)) {
  setObjectName(QStringLiteral("StatisticsPage"));
  // A row is picked to be drawn; nothing in it is edited.
  Table.setParent(this);
  Table.setSelectionMode(QAbstractItemView::SingleSelection);
  Table.setSelectionBehavior(QAbstractItemView::SelectRows);
  Table.setFocusPolicy(Qt::StrongFocus);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(&Table, 1);
  auto* charts = new QVBoxLayout;
  charts->addWidget(Replies, 1);
  charts->addWidget(Faults, 1);
  row->addLayout(charts);
}

void StatisticsPage::SetModel(StatisticsModel* Figures) {
  Model = Figures;
  connect(Table.selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          &StatisticsPage::FollowSelection);
  // Rows come and go as lines join: the selected line keeps its selection.
  connect(Model, &QAbstractItemModel::modelReset, this, [this] {
    const int row = Model->RowOf(Model->Selected());
    Table.selectRow(row >= 0 ? row : 0);
  });
  connect(Model, &StatisticsModel::Sampled, this, &StatisticsPage::UpdateCharts);
  if (Model->rowCount() > 0) Table.selectRow(0);
}

void StatisticsPage::SelectPort(int Port) {
  if (Model == nullptr) return;
  const int row = Model->RowOf(Port);
  if (row >= 0) Table.selectRow(row);
}

void StatisticsPage::FollowSelection() {
  const QModelIndex current = Table.selectionModel()->currentIndex();
  Model->Select(current.isValid() ? Model->PortAt(current.row()) : 0);
  UpdateCharts();
}

void StatisticsPage::UpdateCharts() {
  if (Model == nullptr) return;
  const int port = Model->Selected();
  Replies->SetBins(port, Model->ReplyTimes());
  Faults->SetSlots(port, Model->Trouble(port));
}

}  // namespace qx25::station
