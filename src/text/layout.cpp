#include "text/layout.h"

#include "text/messages.h"

namespace qx::text {
namespace {

bool Exists(const IndexTree& tree, int node) {
    return node >= 0 && node < tree.Count();
}

int ParentOf(const IndexTree& tree, int node) {
    return tree.At(node).parent;
}

// Everything after the first blank; a text without one stays as it is.
// Further blanks right after the first one stay at the start.
void StripPrefixes(IndexTree& tree, NodeRange chapters) {
    for (int i = chapters.begin; i < chapters.end; ++i) {
        const Text& text = tree.TextOf(i);
        const auto blank = text.find(' ');
        if (blank != Text::npos)
            tree.SetText(i, text.substr(blank + 1));
    }
}

void MoveUp(IndexTree& tree, int volume, NodeRange chapters, std::string_view prefix) {
    Text volumeText = tree.TextOf(volume);
    volumeText += ' ';
    volumeText += prefix;
    tree.SetText(volume, std::move(volumeText));
    StripPrefixes(tree, chapters);
}

// The outcome of comparing the first words of a run of chapters.
struct SharedPrefix {
    enum Kind { Shared, NoBlank, Differs } kind = Shared;
    int failingNode = -1;   // the chapter that ended the comparison
    std::string_view word;  // the shared word; empty when every chapter began with a blank
};

// A chapter that begins with a blank has an empty first word: before any word
// has been taken it passes (the next chapter sets the word), afterwards it
// counts as a difference.
SharedPrefix CompareFirstWords(const IndexTree& tree, NodeRange chapters) {
    SharedPrefix result;
    for (int i = chapters.begin; i < chapters.end; ++i) {
        const auto prefix = VolumePrefix(tree.TextOf(i));
        if (!prefix)
            return {SharedPrefix::NoBlank, i, {}};
        if (result.word.empty())
            result.word = *prefix;
        if (*prefix != result.word)
            return {SharedPrefix::Differs, i, {}};
    }
    return result;
}

}  // namespace

NodeRange ChaptersOf(const IndexTree& tree, int volume) {
    if (!Exists(tree, volume))
        return {};
    int end = volume + 1;
    while (end < tree.Count() && ParentOf(tree, end) == volume)
        ++end;
    return {volume + 1, end};
}

bool IsVolumeNode(const IndexTree& tree, int node) {
    return Exists(tree, node) && ParentOf(tree, node) < 0;
}

bool IsChapterNode(const IndexTree& tree, int node) {
    return Exists(tree, node) && ParentOf(tree, node) >= 0;
}

int VolumeOf(const IndexTree& tree, int node) {
    if (!Exists(tree, node))
        return -1;
    const int parent = ParentOf(tree, node);
    return parent < 0 ? node : parent;
}

bool IsPictureVolume(const IndexTree& tree, int node) {
    return IsVolumeNode(tree, node) && IsPictureTitle(tree.TextOf(node));
}

std::optional<std::string_view> VolumePrefix(std::string_view chapterText) {
    const auto blank = chapterText.find(' ');
    if (blank == std::string_view::npos)
        return std::nullopt;
    return chapterText.substr(0, blank);
}

int AutomaticLayout(ChapterIndex& index, LayoutMode mode, runtime::Ui& ui) {
    if (mode == LayoutMode::SeparateLines) {
        ui.Status(msg::kNoLayoutNeeded);
        return 0;
    }
    if (mode == LayoutMode::Headings) {  // the headings name volume and chapter apart
        ui.Status(msg::kHeadingsNeedNoLayout);
        return 0;
    }
    ui.Status(msg::kAutoLayoutRunning);
    IndexTree& tree = index.tree;
    int changed = 0;
    int i = 0;
    while (i < tree.Count()) {
        const int volume = ParentOf(tree, i);
        if (volume < 0 || IsPictureTitle(tree.TextOf(volume))) {
            ++i;
            continue;
        }
        // Node i is the first chapter of `volume`; the run ends at the first
        // node with another parent. Only the chapters compared here are ever
        // stripped.
        NodeRange chapters{i, i};
        while (chapters.end < tree.Count() && ParentOf(tree, chapters.end) == volume)
            ++chapters.end;
        i = chapters.end;

        const SharedPrefix shared = CompareFirstWords(tree, chapters);
        // A volume with a single chapter is left alone: one title tells
        // nothing about what its volume's chapters share.
        if (shared.kind != SharedPrefix::Shared || shared.word.empty() || chapters.Size() == 1)
            continue;
        const Text word(shared.word);  // the view points into a text about to change
        MoveUp(tree, volume, chapters, word);
        ++changed;
    }
    ui.Status(msg::kAutoLayoutDone);
    return changed;
}

ManualLayoutResult ManualLayout(ChapterIndex& index, int selectedNode, LayoutMode mode, runtime::Ui& ui) {
    ManualLayoutResult result;
    IndexTree& tree = index.tree;
    if (mode == LayoutMode::SeparateLines) {
        ui.Status(msg::kManualLayoutRefused);
        return result;
    }
    if (mode == LayoutMode::Headings) {
        ui.Status(msg::kHeadingsNeedNoLayout);
        return result;
    }
    const int volume = VolumeOf(tree, selectedNode);
    if (volume < 0)
        return result;  // nothing selected

    const auto fail = [&](int node, std::string_view message) {
        tree.Emphasise(node);
        result.showNode = node;
        ui.Status(message);
        return result;
    };

    const NodeRange chapters = ChaptersOf(tree, volume);
    const SharedPrefix shared = CompareFirstWords(tree, chapters);
    if (shared.kind == SharedPrefix::NoBlank)
        return fail(shared.failingNode, msg::kNoVolumeNameToTake);
    if (shared.kind == SharedPrefix::Differs)
        return fail(shared.failingNode, msg::kVolumeNamesDiffer);
    // A picture volume is refused only after its captions passed the tests
    // above. The node treated is the volume itself: it is what the message is
    // about, and the node after its captions may be another volume or absent.
    if (IsPictureTitle(tree.TextOf(volume)))
        return fail(volume, msg::kPictureNeedsNoLayout);
    // No word to move (no chapters, or every chapter begins with a blank):
    // appending an empty word would only leave a trailing blank on the
    // volume, and each further run another one.
    if (shared.word.empty())
        return fail(chapters.Empty() ? volume : chapters.begin, msg::kNoVolumeNameToTake);

    const Text word(shared.word);
    MoveUp(tree, volume, chapters, word);
    result.changed = true;
    return result;
}

std::optional<ExpandToggle> ToggleExpansion(std::string_view currentCaption, int nodeCount) {
    if (nodeCount <= 0)
        return std::nullopt;
    if (currentCaption == msg::kCollapseCaption)
        return ExpandToggle{msg::kExpandCaption, TreeExpansion::CollapseVolumes};
    return ExpandToggle{msg::kCollapseCaption, TreeExpansion::ExpandVolumes};
}

}  // namespace qx::text
