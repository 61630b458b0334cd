// The Qt tree's batched building and the caption decoding that big trees rely on.
#include <gtest/gtest.h>

#include <QStringDecoder>
#include <QTreeView>
#include <string>

#include "qt_text.h"
#include "qt_tree_control.h"

namespace orvenda {
namespace {

TEST(QtText, EveryByteDecodesAsTheCodePageDecoderHasIt) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  for (const std::string& text : {all,
                                  std::string("P\xF8"
                                              "eprava \x9A"
                                              "kol"),
                                  std::string()}) {
    QStringDecoder decoder("windows-1250");
    EXPECT_EQ(FromCp1250(text), decoder.decode(QByteArrayView(text.data(), text.size())));
  }
}

TEST(QtTreeBatch, TopLevelItemsAddedWhileUpdatingJoinInOrderAndBehaveMeanwhile) {
  OrvendaTreeWidget widget;
  QtTreeControl tree(&widget);
  auto* old = tree.Add(nullptr, "old", TreeControl::kCollapsedNode, 1);
  tree.BeginUpdate();
  auto* a = tree.Add(nullptr, "$$", TreeControl::kCollapsedNode, 10);  // a placeholder
  auto* r = tree.Add(a, "r", TreeControl::kRisk, 11);
  auto* b = tree.Add(nullptr, "b", TreeControl::kCollapsedNode, 12);
  auto* gone = tree.Add(nullptr, "gone", TreeControl::kRisk, 13);
  EXPECT_EQ(tree.Children(nullptr), (std::vector<TreeControl::Item>{old, a, b, gone}));
  EXPECT_EQ(tree.FindByData(11), r);
  EXPECT_EQ(tree.Parent(r), a);
  tree.SetCaption(a, "A");
  tree.Move(a, b);  // the placeholder's record came: it moves under its parent
  tree.Move(old, nullptr);
  tree.Delete(gone);
  EXPECT_EQ(tree.FindByData(13), nullptr);
  EXPECT_EQ(tree.Children(nullptr), (std::vector<TreeControl::Item>{b, old}));
  tree.EndUpdate();

  const QAbstractItemModel* model = widget.model();
  ASSERT_EQ(model->rowCount(), 2);
  EXPECT_EQ(model->index(0, 0).data().toString(), "b");
  EXPECT_EQ(model->index(1, 0).data().toString(), "old");
  const QModelIndex placeholder = model->index(0, 0, model->index(0, 0));
  ASSERT_EQ(model->rowCount(model->index(0, 0)), 1);
  EXPECT_EQ(placeholder.data().toString(), "A");
  EXPECT_EQ(QtTreeControl::ItemOf(model->index(0, 0, placeholder)), r);
  EXPECT_EQ(tree.Image(r), TreeControl::kRisk);
  EXPECT_FALSE(qvariant_cast<QIcon>(tree.IndexOf(r).data(Qt::DecorationRole)).isNull());

  // Selecting while updating puts the waiting items in place first.
  tree.BeginUpdate();
  auto* c = tree.Add(nullptr, "c", TreeControl::kCollapsedNode, 14);
  tree.Select(c);
  EXPECT_EQ(QtTreeControl::ItemOf(widget.currentIndex()), c);
  EXPECT_EQ(widget.model()->rowCount(), 3);
  tree.Add(nullptr, "d", TreeControl::kCollapsedNode, 15);
  tree.Clear();  // also drops what waits
  tree.EndUpdate();
  EXPECT_EQ(widget.model()->rowCount(), 0);
  EXPECT_EQ(tree.IndexedItems(), 0u);
}

TEST(QtTreeBatch, AnUpdateTellsTheViewOncePerParentThatItKnows) {
  OrvendaTreeWidget widget;
  QtTreeControl tree(&widget);
  auto* old = tree.Add(nullptr, "old", TreeControl::kCollapsedNode, 1);
  std::vector<std::pair<TreeControl::Item, int>> inserts;  // parent, rows
  QObject::connect(widget.model(), &QAbstractItemModel::rowsInserted,
                   [&](const QModelIndex& parent, int first, int last) {
                     inserts.emplace_back(QtTreeControl::ItemOf(parent), last - first + 1);
                   });
  tree.BeginUpdate();
  for (int i = 0; i < 500; ++i) {
    auto* node = tree.Add(nullptr, "n", TreeControl::kCollapsedNode, 100 + 2 * i);
    tree.Add(node, "r", TreeControl::kRisk, 101 + 2 * i);
    tree.Add(old, "r", TreeControl::kRisk, 2000 + i);
  }
  EXPECT_TRUE(inserts.empty());
  EXPECT_EQ(widget.model()->rowCount(), 1);  // the view sees nothing new yet
  tree.EndUpdate();
  EXPECT_EQ(inserts, (std::vector<std::pair<TreeControl::Item, int>>{{nullptr, 500}, {old, 500}}));
  EXPECT_EQ(widget.model()->rowCount(), 501);
  const QModelIndex last = widget.model()->index(500, 0);
  EXPECT_EQ(widget.model()->index(0, 0, last).data().toString(), "r");
  EXPECT_EQ(tree.FindByData(1099), QtTreeControl::ItemOf(widget.model()->index(0, 0, last)));
}

TEST(QtTreeBatch, SortingAndMovingKeepWhatTheViewShowsOnTheSameItems) {
  OrvendaTreeWidget widget;
  QtTreeControl tree(&widget);
  auto* b = tree.Add(nullptr, "b", TreeControl::kCollapsedNode, 1);
  auto* a = tree.Add(nullptr, "a", TreeControl::kCollapsedNode, 2);
  auto* risk = tree.Add(b, "r", TreeControl::kRisk, 3);
  auto* s = tree.Add(a, "s", TreeControl::kRisk, 4);
  tree.Expand(b, false);
  tree.Select(risk);
  tree.SortChildren(nullptr, true);
  EXPECT_EQ(tree.Children(nullptr), (std::vector<TreeControl::Item>{a, b}));
  EXPECT_TRUE(tree.IsExpanded(b));
  EXPECT_FALSE(tree.IsExpanded(a));
  EXPECT_EQ(tree.Selected(), risk);
  EXPECT_EQ(widget.currentIndex(), tree.IndexOf(risk));

  tree.Move(b, a);  // an open branch moves open, with the selection inside it
  EXPECT_TRUE(tree.IsExpanded(b));
  EXPECT_EQ(tree.Selected(), risk);
  EXPECT_EQ(widget.model()->rowCount(), 1);
  EXPECT_EQ(tree.IndexOf(b).parent(), tree.IndexOf(a));
  tree.Move(a, b);  // not below itself
  EXPECT_EQ(tree.Parent(a), nullptr);
  EXPECT_EQ(tree.Children(a), (std::vector<TreeControl::Item>{s, b}));
}

}  // namespace
}  // namespace orvenda
