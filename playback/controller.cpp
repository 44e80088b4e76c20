// DoImage: which image is wanted next, fetching it, and offering it to PutImage, which may
// keep it pending until the pause has elapsed.
#include "playback/controller.h"

#include "display/image_output.h"
#include "display/window.h"
#include "placement/placement.h"
#include "playback/image_list.h"
#include "rm/frame_locator.h"
#include "shell/diagnostics.h"
#include "shell/viewer_state.h"

namespace {

enum class Outcome { Advance, Retry, NoChange };

struct Selection {
    Outcome outcome;
    int paced;
    // A counted loop or cycle turns onto the image already on screen (a one-image
    // selection): it is put again all the same, so that the pass is counted and the run ends.
    bool putAgain = false;
};

// With an image pending it is offered again; otherwise there is nothing to do.
Selection CommonTail() {
    return State.PutPending ? Selection{Outcome::Retry, 1} : Selection{Outcome::NoChange, 0};
}

// Stop: the image on screen stays; a pending one is dropped.
Selection StopAtShown() {
    if (State.CurrentImage == State.ShownImage) return CommonTail();
    State.CurrentImage = State.ShownImage;
    State.PutPending = 0;
    return {Outcome::Advance, 0};
}

// Forward and backward: one image on, paced; at the end of the sequence the run stops.
Selection RunOneWay(bool forward) {
    State.RepeatLimit = 0;
    if (State.PutPending) return {Outcome::Retry, 1};
    const bool atEnd = forward ? State.CurrentImage >= State.TotalImages : State.CurrentImage == 0;
    if (atEnd) {
        State.Mode = Stopped;
        return {Outcome::NoChange, 0};
    }
    if (forward) {
        ++State.CurrentImage;
    } else {
        --State.CurrentImage;
    }
    return {Outcome::Advance, 1};
}

// Loop: one image on, from the last back to the first.
Selection LoopOn() {
    if (State.PutPending) return {Outcome::Retry, 1};
    const bool wraps = State.CurrentImage >= State.TotalImages;
    State.CurrentImage = wraps ? 0 : State.CurrentImage + 1;
    return {Outcome::Advance, 1, wraps && State.RepeatLimit != 0};
}

// Cycle: one image on, turning at either end.
Selection CycleOn() {
    if (State.PutPending) return {Outcome::Retry, 1};
    int16_t d = State.Direction;
    if (State.CurrentImage >= State.TotalImages) d = -1;
    if (State.CurrentImage == 0) d = 1;  // made last: it wins
    State.Direction = d;
    State.CurrentImage += static_cast<uint32_t>(static_cast<int32_t>(d));
    return {Outcome::Advance, 1, State.TotalImages == 0 && State.RepeatLimit != 0};
}

// A step: the image next to the one on screen, unpaced; a pending image is dropped.
Selection StepFromShown(bool forward) {
    State.RepeatLimit = 0;
    State.CurrentImage = State.ShownImage;
    State.PutPending = 0;
    const bool atEnd = forward ? State.ShownImage >= State.TotalImages : State.ShownImage == 0;
    if (atEnd) return {Outcome::NoChange, 0};
    State.CurrentImage = forward ? State.ShownImage + 1 : State.ShownImage - 1;
    return {Outcome::Advance, 0};
}

// "To first" must show image 0 also when image 0 is fetched but still pending: only an
// image 0 already on screen makes it a no-op.
Selection ToFirst() {
    State.RepeatLimit = 0;
    State.PutPending = 0;
    if (State.CurrentImage == 0 && State.ShownImage == 0) return {Outcome::NoChange, 0};
    State.CurrentImage = 0;
    return {Outcome::Advance, 0};
}

// Redraw: the display image drawn again where it is, or, before the window opens, the
// current image fetched and put.
Selection Redraw() {
    if (State.WindowOpen) {
        PlaceImage(State.DisplayImage);
        const bool wasPending = State.PutPending != 0;
        State.PutPending = PutImage(State.DisplayImage, 0) == 0;
        // A pending image drawn here is the one on screen now.
        if (wasPending && !State.PutPending) State.ShownImage = State.CurrentImage;
        FillBorders(State.DisplayImage);
        return CommonTail();
    }
    if (State.PutPending) return {Outcome::Retry, 1};
    return {Outcome::Advance, 1};
}

Selection Select(PlaybackCommand command) {
    switch (static_cast<uint32_t>(command)) {
        case CmdStop: return StopAtShown();
        case CmdForward: return RunOneWay(true);
        case CmdQuit: CleanUp(true); EndProcess(0);
        case CmdBackward: return RunOneWay(false);
        case CmdLoop: return LoopOn();
        case CmdCycle: return CycleOn();
        case CmdStepForward: return StepFromShown(true);
        case CmdStepBackward: return StepFromShown(false);
        case CmdFirst: return ToFirst();
        case CmdRedraw: return Redraw();
        default: return CommonTail();
    }
}

void Fetch() {
    if (State.BufferCount != 0) {
        LogAt(0, "Ready to get stored image\n");
        if (State.CurrentImage > State.TotalImages) State.CurrentImage = State.TotalImages;
        GetStoredImage(State.DisplayImage, State.ImageList, State.CurrentImage);
        LogAt(0, " - stored image gotten\n");
        LogAt(0, "Ready to put Image\n");
        return;
    }
    LogAt(0, "Ready to Read File Image %d\n", static_cast<int>(State.CurrentImage));
    if (GetFileImage(State.DisplayImage, State.CurrentImage) == -1) {
        if (State.CurrentImage == 0)
            FatalError("DoImage", "File is not in Raster Metafile format", 0);
        // The sequence ends before this image: the one before it is the last.
        --State.CurrentImage;
        State.TotalImages = State.CurrentImage;
    }
    LogAt(0, " - Read File Image, TotalImages = %d\n", static_cast<int>(State.TotalImages));
    LogAt(0, "Ready to put Image\n");
}

void Put(int paced, bool putAgain) {
    if (State.ShownImage == State.CurrentImage && !putAgain) return;  // nothing new to draw
    State.PutPending = PutImage(State.DisplayImage, paced) == 0;
    if (State.PutPending) return;
    State.ShownImage = State.CurrentImage;
    if (State.ResizePending) {
        State.ResizePending = 0;
        FillBorders(State.DisplayImage);
    }
}

void LogResult() {
    if (State.LogLevel <= 0) return;
    if (State.PutPending) {
        if (!State.WaitLogged) {
            LogAt(0, " - Waiting to Put Image\n");
            State.WaitLogged = 1;
        }
    } else {
        LogAt(0, " - Image put\n");
        State.WaitLogged = 0;
    }
}

}  // namespace

void DoImage(PlaybackCommand command) {
    LogAt(6, "Entering %s\n", "DoImage");
    const Selection s = Select(command);
    if (s.outcome == Outcome::NoChange) {
        LogAt(6, "Leaving %s - No Change\n", "DoImage");
        return;
    }
    if (s.outcome == Outcome::Advance) Fetch();
    Put(s.paced, s.putAgain);
    LogResult();
}
