// The batch run's tool controller and the virtual views through which gestures reach the open
// documents.
#pragma once

#include <map>
#include <memory>

#include "tools/ToolController.h"
#include "view/ImageView.h"

namespace zelvo {

struct BatchSession;
struct CommandResult;

struct VirtualViewState {
    std::unique_ptr<ImageView> view;
    float zoom = 1.0f;
    int32_t scrollX = 0, scrollY = 0;  // canvas pixels
};

struct BatchTools {
    ToolController controller;
    std::map<Image*, VirtualViewState> views;
    std::string lastStatus;
    Workspace* workspace = nullptr;
    ~BatchTools();
};

// Created on first use and registered with the workspace as its tool hooks.
BatchTools& Tools(BatchSession& s);
// A document is closing: the tools let go of it and its virtual view before it goes, as the
// desktop program's view does when its window closes. Nothing when no tool was ever used.
void ForgetDocument(BatchSession& s, Image& image);
// Before any command but a key's: a selection nudged by arrow keys still held is recorded, as
// in the program, where whatever else the user does takes the keys first (their release
// records the move). Nothing when no tool was ever used.
void RecordHeldNudge(BatchSession& s);
// Whether a tool has work open (a held press, an open crop frame, a pending free transform,
// text being typed). Nothing open when no tool was ever used.
bool ToolBusy(BatchSession& s);
// A stroke under way lands first, as before a menu command; false when a tool stays busy
// through commands (an open crop frame, a pending free transform), whose work keeps a new
// gesture out as the program's refusal to switch tools does.
bool EndedToolWork(Image& image);
// `info tool`.
CommandResult PrintToolInfo(BatchSession& s);
// `transform free` and `transform free-button …`.
CommandResult FreeTransformVerb(BatchSession& s, const std::vector<std::string>& args);

}  // namespace zelvo
