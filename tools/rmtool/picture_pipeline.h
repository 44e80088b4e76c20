// Encode's pipeline: the inputs are decoded on a second thread, a frame or two ahead of the
// coding, and reach the encoder through a small queue.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/rmtool/encoding.h"

// A failure on either side stops both: the decoding side's error travels in the queue.
class PictureQueue {
   public:
    struct Item {
        enum Kind { Picture, InputDone, End, Error } kind = End;
        // A picture is prepared here when that is quick (it has its indices already), else
        // by the encoder's side, which has less to do than the decoding side.
        bool prepared = false;
        IndexedFrame frame;
        SourcePicture picture;
        MetafileEncoder::Changes changes;
        size_t input = 0;
        uint32_t frames = 0;  // InputDone: the frames the input held
        std::exception_ptr error;
    };
    // False when the consumer has gone.
    bool Push(Item item);
    Item Pop();
    void Cancel();
    // The pixels of a picture that has been used, for the decoder to decode the next one into:
    // memory it has touched already costs neither page faults nor clearing.
    void GiveBack(std::vector<Rgb>&& pixels);
    std::vector<Rgb> TakeSpare();

   private:
    static constexpr size_t Depth = 2;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> items_;
    std::vector<Rgb> spare_;
    bool cancelled_ = false;
};

// Decodes the inputs (PNG files, animated GIFs, "-" a stream of PNGs on standard input) in
// turn on a thread of its own, for as long as it lives; pictures that have their indices
// are prepared there too. Next gives the pictures in order, an InputDone after each input,
// then End, or Error with the first failure.
class InputDecodingThread {
   public:
    explicit InputDecodingThread(const std::vector<std::string>& inputs)
        : thread_(DecodeInputs, std::cref(inputs), std::ref(queue_)) {}
    ~InputDecodingThread() {
        queue_.Cancel();
        thread_.join();
    }
    InputDecodingThread(const InputDecodingThread&) = delete;
    InputDecodingThread& operator=(const InputDecodingThread&) = delete;
    PictureQueue::Item Next() { return queue_.Pop(); }
    void GiveBack(std::vector<Rgb>&& pixels) { queue_.GiveBack(std::move(pixels)); }

   private:
    static void DecodeInputs(const std::vector<std::string>& inputs, PictureQueue& queue);
    PictureQueue queue_;
    std::thread thread_;
};
