// What the plug-in ended, kept for the rest of the installer's run: every program that the page's
// close sequence or list menu, or a silent search's "autoclose", closed, killed or whose service
// it stopped, with how it had been started (read before it was asked to close), so that the
// script can log it (EnumClosedPrograms) and start it again once setup is done
// (RestartClosedPrograms).
#pragma once
#include "quillmere/search/search.h"

namespace tv {

// What the plug-in did to a program. An act whose program is still running when the record is
// read counts as failed.
enum class Ended { closed, killed, stopped, failed };

// Made ready on the installer's thread before any thread notes a program (a page or a silent
// search starts).
void PrepareClosedRecord();

// One entry of the record.
struct ClosedProgram;

// Notes a program that a search found, just before the plug-in acts on it: what it was started
// with, its parent, its owner and token, and the act. One program is one entry: a program noted
// before (the same id and start) keeps what was read then and takes the new act. Returns the
// entry, for the next act of the same close to hand back as `noted` (null when none could be
// made); it lives while a search is held. Any thread; a program that another thread is noting
// at that moment is read first, and then acted on.
ClosedProgram* NoteProgram(const FoundProcess& program, Ended how, ClosedProgram* noted = nullptr);
// Notes a custom entry that "autoclose" asked until its function no longer answered "true"
// (gone), or gave up on.
void NoteCustom(const CustomTarget& target, bool gone);

}  // namespace tv
