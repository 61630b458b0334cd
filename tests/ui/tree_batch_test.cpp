// The Qt tree's batched building and the caption decoding that big trees rely on.
#include <gtest/gtest.h>

#include <QStringDecoder>
#include <QTreeWidget>
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

  ASSERT_EQ(widget.topLevelItemCount(), 2);
  EXPECT_EQ(widget.topLevelItem(0)->text(0), "b");
  EXPECT_EQ(widget.topLevelItem(1)->text(0), "old");
  ASSERT_EQ(widget.topLevelItem(0)->childCount(), 1);
  EXPECT_EQ(widget.topLevelItem(0)->child(0)->text(0), "A");
  EXPECT_EQ(widget.topLevelItem(0)->child(0)->child(0), r);
  EXPECT_EQ(tree.Image(r), TreeControl::kRisk);
  EXPECT_FALSE(static_cast<QTreeWidgetItem*>(r)->icon(0).isNull());

  // Selecting while updating puts the waiting items in place first.
  tree.BeginUpdate();
  auto* c = tree.Add(nullptr, "c", TreeControl::kCollapsedNode, 14);
  tree.Select(c);
  EXPECT_EQ(widget.currentItem(), c);
  EXPECT_EQ(widget.topLevelItemCount(), 3);
  tree.Add(nullptr, "d", TreeControl::kCollapsedNode, 15);
  tree.Clear();  // also drops what waits
  tree.EndUpdate();
  EXPECT_EQ(widget.topLevelItemCount(), 0);
  EXPECT_EQ(tree.IndexedItems(), 0u);
}

}  // namespace
}  // namespace orvenda
