// The C++ core of the Python package kinaro: the viewer's reader (OpenMetafile) and rmtool
// encode's writer (MetafileOutput) with NumPy arrays at the boundary. Every C++ failure is
// turned into a Python exception here; nothing unwinds into the interpreter, and a fatal
// error of the reader never ends the process (the throwing end, kinaro_exit_throwing).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "format/metafile_format.h"
#include "python/src/memory_stream.h"
#include "python/src/metafile_output.h"
#include "python/src/open_metafile.h"
#include "tools/rmtool/gif_io.h"
#include "tools/rmtool/png_io.h"

namespace py = pybind11;

namespace {

using ByteArray = py::array_t<uint8_t, py::array::c_style | py::array::forcecast>;

// kinaro.MetafileError, defined by the package (kinaro/_errors.py); kept for the process.
py::handle MetafileErrorType;

// A KeyboardInterrupt waiting from a Ctrl-C while the GIL was released is raised now.
void RaisePendingSignals() {
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
}

py::object FrameTuple(DecodedFrame& frame) {
    const py::ssize_t width = frame.width, height = frame.height;
    // The array takes the decoded bytes over: they are not copied again.
    uint8_t* bytes = frame.indices.get();
    py::capsule owner(new FrameBytes(std::move(frame.indices)),
                      [](void* p) { delete static_cast<FrameBytes*>(p); });
    py::array_t<uint8_t> indices({height, width}, {width, py::ssize_t{1}}, bytes, owner);
    const py::ssize_t entries = static_cast<py::ssize_t>(frame.palette.size() / 3);
    py::array_t<uint8_t> palette({entries, py::ssize_t{3}});
    std::copy(frame.palette.begin(), frame.palette.end(), palette.mutable_data());
    return py::make_tuple(frame.index, frame.fileImage, frame.width, frame.height, frame.depth,
                          frame.grey, py::make_tuple(frame.fill[0], frame.fill[1], frame.fill[2]),
                          indices, palette);
}

class Reader {
   public:
    Reader(const std::string& path, std::optional<std::tuple<int64_t, int64_t, int64_t>> frames,
           int64_t maxFrames, bool sharedTable, bool grey, int64_t widen) {
        ReadOptions options;
        if (frames) {
            options.selectFrames = true;
            std::tie(options.first, options.last, options.skip) = *frames;
        }
        options.maxFrames = maxFrames;
        options.sharedTable = sharedTable;
        options.grey = grey;
        options.widen = widen;
        py::gil_scoped_release release;
        file_ = std::make_unique<OpenMetafile>(path, options);
    }

    // (index, number, width, height, depth, grey, fill, indices, palette), or None.
    py::object Fetch(uint32_t index) {
        std::optional<DecodedFrame> frame;
        {
            py::gil_scoped_release release;
            frame = file_->Fetch(index);
        }
        RaisePendingSignals();
        return frame ? FrameTuple(*frame) : py::none();
    }

    uint32_t SelectedCount() {
        py::gil_scoped_release release;
        return file_->SelectedCount();
    }

    std::string InfoReport() {
        py::gil_scoped_release release;
        return file_->InfoReport();
    }

    void Close() {
        py::gil_scoped_release release;
        file_->Close();
    }

    const std::string& Path() const { return file_->Path(); }

   private:
    std::unique_ptr<OpenMetafile> file_;
};

ByteArray CheckedArray(const py::handle& object, int dimensions, const char* what) {
    ByteArray array = ByteArray::ensure(object);
    if (!array || array.ndim() != dimensions)
        throw std::invalid_argument(std::string(what) + " must be a " + std::to_string(dimensions) +
                                    "-dimensional uint8 array");
    return array;
}

std::vector<Rgb> PaletteFrom(const py::handle& object) {
    ByteArray palette = CheckedArray(object, 2, "a palette");
    if (palette.shape(1) != 3) throw std::invalid_argument("a palette has 3 columns (R, G, B)");
    std::vector<Rgb> entries(static_cast<size_t>(palette.shape(0)));
    for (size_t i = 0; i < entries.size(); ++i) {
        const uint8_t* c = palette.data(static_cast<py::ssize_t>(i), 0);
        entries[i] = Rgb{c[0], c[1], c[2]};
    }
    return entries;
}

class Writer {
   public:
    Writer(const std::string& path, bool force)
        : output_(std::make_unique<MetafileOutput>(path, force)) {}

    void AddIndexed(const py::handle& indicesObject, const py::handle& paletteObject) {
        ByteArray indices = CheckedArray(indicesObject, 2, "indices");
        std::vector<Rgb> palette = PaletteFrom(paletteObject);
        py::gil_scoped_release release;
        Output().AddIndexed(indices.shape(1), indices.shape(0), indices.data(), palette);
    }

    void AddRgb(const py::handle& rgbObject) {
        ByteArray rgb = CheckedArray(rgbObject, 3, "an RGB frame");
        if (rgb.shape(2) != 3) throw std::invalid_argument("an RGB frame is height x width x 3");
        py::gil_scoped_release release;
        Output().AddRgb(rgb.shape(1), rgb.shape(0), rgb.data());
    }

    void Commit() {
        py::gil_scoped_release release;
        Output().Commit();
        output_.reset();
    }

    // Removes what was written so far.
    void Abandon() { output_.reset(); }

    uint32_t Frames() { return Output().Frames(); }

   private:
    MetafileOutput& Output() {
        if (!output_) throw std::invalid_argument("the metafile is already finished");
        return *output_;
    }
    std::unique_ptr<MetafileOutput> output_;
};

IndexedFrame IndexedFrameFrom(const py::handle& indicesObject, const py::handle& paletteObject) {
    ByteArray indices = CheckedArray(indicesObject, 2, "indices");
    IndexedFrame frame;
    frame.height = static_cast<int32_t>(indices.shape(0));
    frame.width = static_cast<int32_t>(indices.shape(1));
    frame.pixels.assign(indices.data(), indices.data() + indices.size());
    frame.palette = PaletteFrom(paletteObject);
    return frame;
}

// A palette PNG of one frame, in memory.
py::bytes PngBytes(const py::handle& indices, const py::handle& palette) {
    const IndexedFrame frame = IndexedFrameFrom(indices, palette);
    return py::bytes(WrittenToMemory([&](FILE* out) { WritePngToStream(out, frame, "PNG"); }));
}

// A looping GIF of (indices, palette) frames of one size, `delay` hundredths of a second each.
void WriteGif(const std::string& path, const py::list& frames, int delay) {
    std::vector<IndexedFrame> pictures;
    for (const py::handle& item : frames) {
        const py::tuple pair = item.cast<py::tuple>();
        pictures.push_back(IndexedFrameFrom(pair[0], pair[1]));
    }
    if (pictures.empty()) throw std::invalid_argument("a GIF needs a frame");
    py::gil_scoped_release release;
    GifWriter gif(path, pictures[0].width, pictures[0].height, true);
    for (const IndexedFrame& picture : pictures) gif.AddFrame(picture, delay);
    gif.Finish();
}

void Translate(std::exception_ptr thrown) {
    try {
        std::rethrow_exception(thrown);
    } catch (const MetafileFailure& failure) {
        py::object error =
            MetafileErrorType(failure.record.text, failure.record.routine,
                              failure.record.blockNumber, failure.index, failure.path);
        PyErr_SetObject(MetafileErrorType.ptr(), error.ptr());
    } catch (const OpenFailure& failure) {
        errno = failure.error;
        PyErr_SetFromErrnoWithFilename(PyExc_OSError, failure.path.c_str());
    } catch (const OptionsRefused& refused) {
        PyErr_SetString(PyExc_ValueError,
                        ("the viewer does not accept the options " + refused.options).c_str());
    } catch (const ToolError& error) {
        PyErr_SetString(PyExc_OSError, error.message.c_str());
    }
}

}  // namespace

PYBIND11_MODULE(_kinaro, m) {
    m.doc() = "The C++ core of kinaro: the viewer's reader and rmtool's encoder.";
    py::object errorType = py::module_::import("kinaro._errors").attr("MetafileError");
    MetafileErrorType = errorType.release();
    py::register_exception_translator(Translate);
    // The viewer's -max when none is given, for kinaro.open's default.
    m.attr("DEFAULT_MAX_FRAMES") = DefaultMaxFrames;

    py::class_<Reader>(m, "Reader")
        .def(py::init<const std::string&, std::optional<std::tuple<int64_t, int64_t, int64_t>>,
                      int64_t, bool, bool, int64_t>(),
             py::arg("path"), py::arg("frames"), py::arg("max"), py::arg("shared_table"),
             py::arg("grey"), py::arg("widen"))
        .def("fetch", &Reader::Fetch, py::arg("index"))
        .def("selected_count", &Reader::SelectedCount)
        .def("info_report", &Reader::InfoReport)
        .def("close", &Reader::Close)
        .def_property_readonly("path", &Reader::Path);

    py::class_<Writer>(m, "Writer")
        .def(py::init<const std::string&, bool>(), py::arg("path"), py::arg("force"))
        .def("add_indexed", &Writer::AddIndexed, py::arg("indices"), py::arg("palette"))
        .def("add_rgb", &Writer::AddRgb, py::arg("rgb"))
        .def("commit", &Writer::Commit)
        .def("abandon", &Writer::Abandon)
        .def_property_readonly("frames", &Writer::Frames);

    m.def("png_bytes", &PngBytes, py::arg("indices"), py::arg("palette"));
    m.def("write_gif", &WriteGif, py::arg("path"), py::arg("frames"), py::arg("delay"));
}
