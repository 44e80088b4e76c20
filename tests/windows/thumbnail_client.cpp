// Asks the installed thumbnail handler for thumbnails as Explorer does: the class named by
// the ProgID's thumbnail handler key, created through COM, initialised with a stream.
//   thumbnail_client OUT_DIR SIZE FILE...
// For each file it prints "NAME ok WIDTH HEIGHT BYTES_READ" (the thumbnail written as
// OUT_DIR/NAME.ppm; BYTES_READ is the end of the furthest read from the stream) or
// "NAME failed HRESULT". Then it checks the handler's answers to misuse and a failing
// stream, and asks for every file again from several threads at once, each answer
// compared with the first. The status is 1 when a check failed.
#include <windows.h>
// These come after windows.h, which they need.
#include <propsys.h>
#include <thumbcache.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int Failures = 0;

void Check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) ++Failures;
}

// A stream over bytes in memory that records how far it was read, and can fail every read
// that goes past `failAfter` bytes.
class MemoryStream final : public IStream {
   public:
    MemoryStream(const std::vector<uint8_t>& bytes, uint64_t failAfter)
        : bytes_(bytes), failAfter_(failAfter) {}
    uint64_t furthest = 0;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISequentialStream) ||
            IsEqualIID(iid, IID_IStream)) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references_); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP Read(void* into, ULONG count, ULONG* read) override {
        if (position_ + count > failAfter_) return STG_E_READFAULT;
        const uint64_t left = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
        const ULONG n = static_cast<ULONG>(left < count ? left : count);
        if (n > 0) std::memcpy(into, bytes_.data() + position_, n);
        position_ += n;
        if (position_ > furthest) furthest = position_;
        if (read != nullptr) *read = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* at) override {
        int64_t base = origin == STREAM_SEEK_SET   ? 0
                       : origin == STREAM_SEEK_CUR ? static_cast<int64_t>(position_)
                                                   : static_cast<int64_t>(bytes_.size());
        if (base + move.QuadPart < 0) return STG_E_INVALIDFUNCTION;
        position_ = static_cast<uint64_t>(base + move.QuadPart);
        if (at != nullptr) at->QuadPart = position_;
        return S_OK;
    }
    STDMETHODIMP Stat(STATSTG* stat, DWORD) override {
        std::memset(stat, 0, sizeof *stat);
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = bytes_.size();
        return S_OK;
    }
    STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Commit(DWORD) override { return S_OK; }
    STDMETHODIMP Revert() override { return S_OK; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

   private:
    ~MemoryStream() = default;
    LONG references_ = 1;
    const std::vector<uint8_t>& bytes_;
    uint64_t failAfter_;
    uint64_t position_ = 0;
};

struct Answer {
    HRESULT result = E_FAIL;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // top row first
    uint64_t furthest = 0;
    bool operator==(const Answer& o) const {
        return result == o.result && width == o.width && height == o.height && rgb == o.rgb;
    }
};

CLSID HandlerClass;

// The class Explorer would use: Kinaro.RasterMetafile\ShellEx\{IThumbnailProvider}.
bool FindHandlerClass() {
    char text[64] = {};
    LONG size = sizeof text;
    if (RegQueryValueA(HKEY_CLASSES_ROOT,
                       "Kinaro.RasterMetafile\\ShellEx\\{e357fccd-a995-4576-b01f-234630154e96}",
                       text, &size) != ERROR_SUCCESS)
        return false;
    wchar_t wide[64];
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 64);
    return SUCCEEDED(CLSIDFromString(wide, &HandlerClass));
}

IThumbnailProvider* NewProvider() {
    IThumbnailProvider* provider = nullptr;
    if (FAILED(CoCreateInstance(HandlerClass, nullptr, CLSCTX_INPROC_SERVER,
                                __uuidof(IThumbnailProvider), reinterpret_cast<void**>(&provider))))
        return nullptr;
    return provider;
}

Answer Ask(const std::vector<uint8_t>& bytes, UINT size, uint64_t failAfter = UINT64_MAX) {
    Answer answer;
    IThumbnailProvider* provider = NewProvider();
    if (provider == nullptr) return answer;
    IInitializeWithStream* init = nullptr;
    auto* stream = new MemoryStream(bytes, failAfter);
    if (SUCCEEDED(provider->QueryInterface(__uuidof(IInitializeWithStream),
                                           reinterpret_cast<void**>(&init)))) {
        answer.result = init->Initialize(stream, STGM_READ);
        init->Release();
    }
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    if (SUCCEEDED(answer.result)) answer.result = provider->GetThumbnail(size, &bitmap, &alpha);
    provider->Release();
    answer.furthest = stream->furthest;
    stream->Release();
    if (SUCCEEDED(answer.result)) {
        DIBSECTION dib;
        if (bitmap == nullptr || GetObject(bitmap, sizeof dib, &dib) != sizeof dib ||
            dib.dsBm.bmBitsPixel != 32 || alpha != WTSAT_RGB) {
            answer.result = E_UNEXPECTED;  // not the 32-bit opaque bitmap promised
        } else {
            answer.width = dib.dsBm.bmWidth;
            answer.height = dib.dsBm.bmHeight;
            const auto* bgra = static_cast<const uint8_t*>(dib.dsBm.bmBits);
            for (size_t i = 0; i < size_t(answer.width) * answer.height; ++i)
                answer.rgb.insert(answer.rgb.end(),
                                  {bgra[4 * i + 2], bgra[4 * i + 1], bgra[4 * i]});
        }
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    return answer;
}

std::vector<uint8_t> ReadWhole(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return bytes;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(in);
    return bytes;
}

struct Request {
    std::string name;
    std::vector<uint8_t> bytes;
    Answer first;
};
std::vector<Request> Requests;
UINT Size = 256;
LONG Differing = 0;
constexpr int Threads = 4;
constexpr int Rounds = 3;

DWORD WINAPI AskAgain(void*) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    for (int round = 0; round < Rounds; ++round)
        for (const Request& request : Requests)
            if (!(Ask(request.bytes, Size) == request.first)) InterlockedIncrement(&Differing);
    CoUninitialize();
    return 0;
}

void CheckMisuse(const std::vector<uint8_t>& good) {
    IThumbnailProvider* provider = NewProvider();
    if (provider == nullptr) return Check(false, "a provider for the misuse checks");
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha;
    Check(provider->GetThumbnail(64, &bitmap, &alpha) == E_UNEXPECTED && bitmap == nullptr,
          "GetThumbnail before Initialize gives E_UNEXPECTED and no bitmap");
    IInitializeWithStream* init = nullptr;
    provider->QueryInterface(__uuidof(IInitializeWithStream), reinterpret_cast<void**>(&init));
    auto* stream = new MemoryStream(good, UINT64_MAX);
    const bool once = init != nullptr && SUCCEEDED(init->Initialize(stream, STGM_READ));
    Check(once && FAILED(init->Initialize(stream, STGM_READ)), "a second Initialize fails");
    Check(FAILED(provider->GetThumbnail(0, &bitmap, &alpha)) && bitmap == nullptr,
          "a thumbnail size of 0 fails");
    if (init != nullptr) init->Release();
    provider->Release();
    stream->Release();
    Check(FAILED(Ask(good, Size, 1024).result), "a stream whose reads fail after 1 KB fails");
    Check(FAILED(Ask({}, Size).result), "an empty stream fails");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: thumbnail_client OUT_DIR SIZE FILE...\n");
        return 2;
    }
    const std::string out = argv[1];
    Size = static_cast<UINT>(std::atoi(argv[2]));
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (!FindHandlerClass()) {
        Check(false, "the ProgID names a thumbnail handler class");
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        Request request;
        std::string path = argv[i];
        request.name = path.substr(path.find_last_of("/\\") + 1);
        request.bytes = ReadWhole(path);
        request.first = Ask(request.bytes, Size);
        const Answer& a = request.first;
        if (SUCCEEDED(a.result)) {
            std::printf("%s ok %d %d %llu\n", request.name.c_str(), a.width, a.height,
                        static_cast<unsigned long long>(a.furthest));
            FILE* ppm = std::fopen((out + "/" + request.name + ".ppm").c_str(), "wb");
            if (ppm != nullptr) {
                std::fprintf(ppm, "P6\n%d %d\n255\n", a.width, a.height);
                std::fwrite(a.rgb.data(), 1, a.rgb.size(), ppm);
                std::fclose(ppm);
            }
        } else {
            std::printf("%s failed 0x%08lx\n", request.name.c_str(),
                        static_cast<unsigned long>(a.result));
        }
        Requests.push_back(std::move(request));
    }
    for (const Request& request : Requests)
        if (SUCCEEDED(request.first.result)) {
            CheckMisuse(request.bytes);
            break;
        }

    HANDLE threads[Threads];
    for (HANDLE& thread : threads) thread = CreateThread(nullptr, 0, AskAgain, nullptr, 0, nullptr);
    const bool ended = WaitForMultipleObjects(Threads, threads, TRUE, 120000) == WAIT_OBJECT_0;
    for (HANDLE thread : threads) CloseHandle(thread);
    char what[160];
    std::snprintf(what, sizeof what,
                  "%d threads at once asked %d times for each of %zu files: %ld answers differ",
                  Threads, Rounds, Requests.size(), Differing);
    Check(ended && Differing == 0, what);
    CoUninitialize();
    return Failures == 0 ? 0 : 1;
}
