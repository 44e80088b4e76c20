// The thumbnail handler: an in-process COM server whose one class implements
// IThumbnailProvider and IInitializeWithStream. Explorer (or any host) creates it, hands it
// the file's stream and asks for a bitmap; the drawing is rmtool thumbnail's.
#include <windows.h>
// These come after windows.h, which they need.
#include <propsys.h>
#include <thumbcache.h>

#include <cstring>

#include "windows/thumbnails/first_frame.h"

namespace {

// {96816196-6D97-4345-8F56-40EE9F811566}, as the installer registers it.
constexpr CLSID ThumbnailHandlerClass = {
    0x96816196, 0x6d97, 0x4345, {0x8f, 0x56, 0x40, 0xee, 0x9f, 0x81, 0x15, 0x66}};

LONG LiveObjects = 0;  // providers alive and server locks: the DLL stays while either is set
LONG ServerLocks = 0;

class ThumbnailProvider final : public IThumbnailProvider, public IInitializeWithStream {
   public:
    ThumbnailProvider() { InterlockedIncrement(&LiveObjects); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(IThumbnailProvider)))
            *object = static_cast<IThumbnailProvider*>(this);
        else if (IsEqualIID(iid, __uuidof(IInitializeWithStream)))
            *object = static_cast<IInitializeWithStream*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE Initialize(IStream* stream, DWORD) override {
        if (stream == nullptr) return E_INVALIDARG;
        if (stream_ != nullptr) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
        stream_ = stream;
        stream_->AddRef();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetThumbnail(UINT box, HBITMAP* bitmap,
                                           WTS_ALPHATYPE* alpha) override {
        if (bitmap == nullptr || alpha == nullptr) return E_POINTER;
        *bitmap = nullptr;
        *alpha = WTSAT_UNKNOWN;
        if (stream_ == nullptr) return E_UNEXPECTED;
        Thumbnail thumbnail;
        const HRESULT read = ReadFirstFrameThumbnail(stream_, box, thumbnail);
        if (FAILED(read)) return read;
        return ToBitmap(thumbnail, bitmap, alpha);
    }

   private:
    ~ThumbnailProvider() {
        if (stream_ != nullptr) stream_->Release();
        InterlockedDecrement(&LiveObjects);
    }

    // A top-down 32-bit DIB section, opaque, as hosts expect a thumbnail.
    static HRESULT ToBitmap(const Thumbnail& thumbnail, HBITMAP* bitmap, WTS_ALPHATYPE* alpha) {
        BITMAPINFO info;
        std::memset(&info, 0, sizeof info);
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = thumbnail.size.width;
        info.bmiHeader.biHeight = -thumbnail.size.height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP made = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (made == nullptr || bits == nullptr) {
            if (made != nullptr) DeleteObject(made);
            return E_OUTOFMEMORY;
        }
        auto* out = static_cast<uint8_t*>(bits);
        const size_t pixels = thumbnail.rgb.size() / 3;
        for (size_t i = 0; i < pixels; ++i) {
            out[4 * i] = thumbnail.rgb[3 * i + 2];
            out[4 * i + 1] = thumbnail.rgb[3 * i + 1];
            out[4 * i + 2] = thumbnail.rgb[3 * i];
            out[4 * i + 3] = 0xFF;
        }
        *bitmap = made;
        *alpha = WTSAT_RGB;
        return S_OK;
    }

    LONG references_ = 1;
    IStream* stream_ = nullptr;
};

class ClassFactory final : public IClassFactory {
   public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // The factory is one static object: its references do not count.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        auto* provider = new (std::nothrow) ThumbnailProvider();
        if (provider == nullptr) return E_OUTOFMEMORY;
        const HRESULT result = provider->QueryInterface(iid, object);
        provider->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            InterlockedIncrement(&ServerLocks);
        else
            InterlockedDecrement(&ServerLocks);
        return S_OK;
    }
};

ClassFactory Factory;

}  // namespace

extern "C" {

__declspec(dllexport) HRESULT STDAPICALLTYPE
    DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, ThumbnailHandlerClass)) return CLASS_E_CLASSNOTAVAILABLE;
    return Factory.QueryInterface(iid, object);
}

__declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return LiveObjects == 0 && ServerLocks == 0 ? S_OK : S_FALSE;
}

}  // extern "C"
