#pragma once
// Finding a book's volumes and chapters by their headings: every line is
// tried against the rules, and the candidates are then checked against each
// other, since a line that looks like a heading may still be body text (a
// chapter's title repeated as its first line, a list of contents at the
// front, a sentence that begins with a chapter number, numbering that jumps
// back to an earlier chapter).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "headings/matcher.h"

namespace qx::headings {

struct FoundHeading {
    std::int64_t lineStart = 0;  // offset of the heading's line in the text
    std::int64_t bodyStart = 0;  // where the body after the heading begins
    bool volume = false;         // a volume heading; otherwise a chapter's
    bool special = false;        // 序, 楔子, …: a chapter without a number
    bool synthetic = false;      // a volume where chapter numbering starts again at one; no line of its own
    std::string title;           // GBK: the heading as it stands, noise words before it left out
    std::optional<int> number;
    std::string family;  // headings numbered together: the unit ("章", "回", "chapter"), per rule
    int rule = -1;       // the rule that found it (-1 for synthetic volumes)
};

struct Outline {
    std::vector<FoundHeading> headings;  // in text order
    // Candidates that the checks turned back into body text.
    int rejected = 0;
};

// Reads the whole text (GBK, lines ended by LF or CR LF).
Outline FindHeadings(std::string_view text, const Matcher& matcher);

// How many lines each rule of the set accepts in `text` (the headings the
// rules find before the checks against each other), indexed like the set.
std::vector<int> CountPerRule(std::string_view text, const Matcher& matcher);

// Chinese numeral for a volume's generated title (1 → 一, 12 → 十二, 105 → 一百零五).
std::string ChineseNumeral(int value);

// A consistent sequence of chapter headings: at least three numbered
// chapters, most of them numbered one after the other.
struct SequenceVerdict {
    bool consistent = false;
    int chapters = 0;  // chapters found (numbered and special)
    int numbered = 0;
    int inOrder = 0;         // numbered chapters that follow the one before (or start again at one)
    std::string firstTitle;  // GBK, of the first numbered chapter
};
SequenceVerdict JudgeSequence(const Outline& outline);

}  // namespace qx::headings
