#include "tools/rmtool/picture_pipeline.h"

#include <cstdio>

#include "tools/rmtool/gif_io.h"
#include "tools/rmtool/png_io.h"

bool PictureQueue::Push(Item item) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return items_.size() < Depth || cancelled_; });
    if (cancelled_) return false;
    items_.push_back(std::move(item));
    changed_.notify_all();
    return true;
}

PictureQueue::Item PictureQueue::Pop() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !items_.empty(); });
    Item item = std::move(items_.front());
    items_.pop_front();
    changed_.notify_all();
    return item;
}

void PictureQueue::Cancel() {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = true;
    changed_.notify_all();
}

void PictureQueue::GiveBack(std::vector<Rgb>&& pixels) {
    std::lock_guard<std::mutex> lock(mutex_);
    spare_ = std::move(pixels);
}

std::vector<Rgb> PictureQueue::TakeSpare() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::move(spare_);
}

namespace {

using Item = PictureQueue::Item;

// Queues the picture of input `input`; false when the consumer has gone.
bool PushPicture(PictureQueue& queue, size_t input, SourcePicture& picture) {
    Item item;
    item.kind = Item::Picture;
    item.prepared = picture.indexed;
    if (item.prepared)
        item.frame = MetafileEncoder::PrepareIndexed(std::move(picture.frame), item.changes);
    else
        item.picture = std::move(picture);
    item.input = input;
    return queue.Push(std::move(item));
}

// Queues every picture of input `input`; false when the consumer has gone. `frames` counts
// them.
bool PushInput(PictureQueue& queue, const std::string& name, size_t input, uint32_t& frames) {
    auto push = [&](SourcePicture& picture) {
        ++frames;
        return PushPicture(queue, input, picture);
    };
    SourcePicture picture;
    if (name == "-") {
        // Large reads: a video's frames come by hundreds of megabytes. (With no buffer of its
        // own given, the C library keeps its small one.)
        static char readBuffer[1 << 18];
        setvbuf(stdin, readBuffer, _IOFBF, sizeof readBuffer);
        PngStreamReader stream(stdin, "stdin");
        for (picture.rgb = queue.TakeSpare(); stream.Next(picture); picture.rgb = queue.TakeSpare())
            if (!push(picture)) return false;
        if (frames == 0) ThrowToolError("stdin: no PNG image in the stream");
    } else if (LooksLikeGif(name)) {
        GifReader gif(name);
        while (gif.Next(picture))
            if (!push(picture)) return false;
    } else {
        picture = ReadPng(name);
        if (!push(picture)) return false;
    }
    return true;
}

}  // namespace

void InputDecodingThread::DecodeInputs(const std::vector<std::string>& inputs,
                                       PictureQueue& queue) {
    try {
        for (size_t i = 0; i < inputs.size(); ++i) {
            uint32_t frames = 0;
            if (!PushInput(queue, inputs[i], i, frames)) return;
            Item done;
            done.kind = Item::InputDone;
            done.input = i;
            done.frames = frames;
            if (!queue.Push(std::move(done))) return;
        }
        queue.Push(Item{});
    } catch (...) {
        Item failed;
        failed.kind = Item::Error;
        failed.error = std::current_exception();
        queue.Push(std::move(failed));
    }
}
