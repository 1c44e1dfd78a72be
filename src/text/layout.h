#pragma once
// Volume and chapter layout: in one-line mode every chapter title repeats its
// volume designation, and when that designation has two words (number and
// title) the volume title is left at the front of each chapter node. Layout
// moves a first word that all chapters of a volume share up into the volume
// node ("第一卷" + "风云 第一章 开端" becomes "第一卷 风云" + "第一章 开端").
// It changes node texts only: it never adds, removes or moves nodes and never
// touches the title list or the labels.

#include <optional>
#include <string_view>

#include "runtime/ui.h"
#include "text/chapter_index.h"
#include "text/chapters.h"

namespace qx::text {

// A half-open range of node indexes [begin, end).
struct NodeRange {
    int begin = 0;
    int end = 0;
    int Size() const { return end - begin; }
    bool Empty() const { return end <= begin; }
};

// The chapters of the volume node `volume`: the nodes right after it for as
// long as their parent is `volume`. Empty for an absent node.
NodeRange ChaptersOf(const IndexTree& tree, int volume);

// A top-level node (parent -1). Every top-level node counts as a volume, as
// the tree shows it.
bool IsVolumeNode(const IndexTree& tree, int node);
// A node with a parent; double-clicking one lays out its volume.
bool IsChapterNode(const IndexTree& tree, int node);
// The volume a node belongs to: its parent, or the node itself when it is a
// volume node; -1 for an absent node.
int VolumeOf(const IndexTree& tree, int node);
// A volume node whose text is an image tag; its chapters are the captions.
bool IsPictureVolume(const IndexTree& tree, int node);

// The bytes of a chapter text before its first half-width space. Nothing
// when the text has no such space; empty when the text begins with one.
// The ideographic space is not a separator here.
std::optional<std::string_view> VolumePrefix(std::string_view chapterText);

// Lays out every volume whose chapters (at least two) all share a first
// word, skipping picture volumes and anything that does not qualify without
// a word. Reports progress and completion in the status bar; refuses in
// separate-lines and headings mode. Returns how many volumes it changed.
int AutomaticLayout(ChapterIndex& index, LayoutMode mode, runtime::Ui& ui);

struct ManualLayoutResult {
    // The node the tree should bring into view, -1 for none. It has been
    // marked in the model (IndexTree::Emphasise) so the tree shows it bold.
    int showNode = -1;
    bool changed = false;  // node texts changed; the tree must be refreshed
};

// Lays out the volume of `selectedNode` (the node itself when it is a volume
// node), also when that volume has a single chapter. On a chapter it cannot
// use it stops before changing anything, marks that chapter, and says why in
// the status bar; a picture volume is refused. No selection (-1) or an absent
// node does nothing. A successful layout shows no message.
ManualLayoutResult ManualLayout(ChapterIndex& index, int selectedNode, LayoutMode mode, runtime::Ui& ui);

// Expand or collapse all volumes (按钮_扩展). The caption is the command's
// only state: "收 缩" collapses and shows "展 开"; any other caption expands
// and shows "收 缩". With an empty tree nothing happens (nothing is returned
// and the caption stays). After either action the tree brings node 0 into
// view. Captions are GBK, as msg::kExpandCaption and msg::kCollapseCaption.
enum class TreeExpansion { ExpandVolumes, CollapseVolumes };
struct ExpandToggle {
    std::string_view newCaption;
    TreeExpansion action;
};
std::optional<ExpandToggle> ToggleExpansion(std::string_view currentCaption, int nodeCount);

}  // namespace qx::text
