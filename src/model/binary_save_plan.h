// What saving a characterization under a chosen name does to the folder:
// which file takes the stream, which takes the joint names, what the user
// must agree to first, or why nothing can be saved. Found before anything is
// written, from the folder as it is; writing is SaveCharacterizationBinary's.
#ifndef SKW_MODEL_BINARY_SAVE_PLAN_H
#define SKW_MODEL_BINARY_SAVE_PLAN_H

#include <QString>
#include <QStringList>

struct BinarySavePlan {
    QString binaryPath;     // the name the stream is written under
    QString companionPath;  // the name the joint names are written under
    QStringList questions;  // each must be answered yes, in this order, before anything is written
    QString refusal;        // not empty: nothing may be written, and this is why
};

// `chosenPath` is the name as the save dialog gave it; the dialog has asked
// whether a file of exactly that name may be replaced. The extension is added
// when missing. The hosts' file systems ignore case, so a name that differs
// from an existing file only in case names that file, and the companion is
// the one a load of the file would read under its own name (also in another
// case); a link is replaced by a file of its own and what it leads to is
// left alone. The user is asked before:
// - a file is replaced that the dialog did not ask about (another case, the
//   added extension);
// - a link is replaced, saying where it leads;
// - the stream replaces a file that other ".vlmc" names reach through links,
//   or, where it is rewritten in place (IsRewrittenInPlace), a file with
//   other names (hard links, in the folder or outside it), which would read
//   the new stream with their own old joint names;
// - the companion replaces one that another ".vlmc" file takes its names
//   from (CompanionClaimants: HERO.VLMC beside hero.vlmc is a file of its
//   own on a disk that keeps case), or one whose own ".vlmc" file is missing.
// Refused, with no question, when either file cannot be written
// (WhyBinaryPairCannotBeWritten: also a link of another user's in a folder
// with the sticky bit, and a companion that was not read whole in a folder
// where no copy of it can be kept).
BinarySavePlan PlanBinarySave(const QString& chosenPath);

#endif
