// A host as a foreign, MSVC-ABI program sees the plug-in: it knows only the
// byte layouts and the slot order of the device interface, loads the library
// by name and drives one device through its vtable. It has no C runtime, so
// it touches nothing but kernel32 and writes its verdicts with WriteFile.
//
// Built with clang for i686-pc-windows-msvc and linked with lld-link; it must
// not include any header of the plug-in.

typedef unsigned int u32;
typedef int i32;
typedef unsigned char u8;

extern "C" {
__declspec(dllimport) void* __stdcall GetStdHandle(u32 which);
__declspec(dllimport) i32
    __stdcall WriteFile(void* file, const void* bytes, u32 count, u32* written, void* overlapped);
__declspec(dllimport) void* __stdcall LoadLibraryA(const char* name);
__declspec(dllimport) void* __stdcall GetProcAddress(void* module, const char* name);
__declspec(dllimport) i32 __stdcall FreeLibrary(void* module);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(u32 code);
}

namespace {

// ---- the shared layouts, written down from their bytes ----------------------

struct LogRecord {
    u8 dateStamp;
    u8 timeStamp;
    u8 threadStamp;
    u8 enabled;
    char name[100];
    char infoWord[100];
    char errorWord[100];
    char warningWord[100];
    char debugWord[100];
    i32 debugThreshold;
    i32 debugLevel;
    i32 classLevel;
};
static_assert(sizeof(LogRecord) == 516, "log record is 516 bytes");
static_assert(__builtin_offsetof(LogRecord, debugThreshold) == 504, "debugThreshold");

struct OptionLine {
    u32 lineNumber;
    const char* keyword;
    const char* args[64];
    u32 argCount;
    u8 used;
    u8 padding[3];
};
static_assert(sizeof(OptionLine) == 272, "option line is 272 bytes");

struct DeviceConfig {
    u32 head;
    const char* deviceName;
    u8 hostFields[268];
    OptionLine lines[32];
    u32 lineCount;
};
static_assert(sizeof(DeviceConfig) == 8984, "device configuration is 8984 bytes");
static_assert(__builtin_offsetof(DeviceConfig, lineCount) == 8980, "lineCount");

// The device interface: seven slots in this order, member calls with `this`
// in ECX and the callee popping its stack arguments.
class Device {
public:
    virtual i32 __thiscall init(void* initInfo) = 0;
    virtual bool __thiscall start() = 0;
    virtual i32 __thiscall configure() = 0;
    virtual bool __thiscall stop() = 0;
    virtual bool __thiscall printInfo() = 0;
    virtual i32 __thiscall recvData(void* masks, i32 unused) = 0;
    virtual i32 __thiscall send(i32 first, i32 second) = 0;
};

typedef Device*(__cdecl* CreateDev)(DeviceConfig* config, const LogRecord* log);
typedef bool(__cdecl* DeleteDev)(Device* device);

// ---- output without a C runtime ------------------------------------------------

void* out;
u32 failures;

u32 length(const char* text) {
    u32 n = 0;
    while (text[n] != '\0') {
        ++n;
    }
    return n;
}

void write(const char* text) {
    u32 written = 0;
    WriteFile(out, text, length(text), &written, nullptr);
}

void writeNumber(i32 value) {
    char digits[12];
    char* p = digits + sizeof digits;
    *--p = '\0';
    u32 magnitude = value < 0 ? 0u - static_cast<u32>(value) : static_cast<u32>(value);
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) {
        *--p = '-';
    }
    write(p);
}

void check(bool ok, const char* what) {
    write(ok ? "PASS " : "FAIL ");
    write(what);
    write("\n");
    if (!ok) {
        ++failures;
    }
}

void checkValue(i32 got, i32 expected, const char* what) {
    write(got == expected ? "PASS " : "FAIL ");
    write(what);
    write(" returned ");
    writeNumber(got);
    if (got != expected) {
        write(", expected ");
        writeNumber(expected);
        ++failures;
    }
    write("\n");
}

void copyText(char* field, const char* text) {
    for (u32 i = 0; text[i] != '\0'; ++i) {
        field[i] = text[i];
    }
}

// Byte loops through volatile pointers, so that the compiler does not turn
// them into calls of a C runtime that is not there.
void copyBytes(void* to, const void* from, u32 count) {
    volatile u8* d = static_cast<volatile u8*>(to);
    const volatile u8* s = static_cast<const volatile u8*>(from);
    for (u32 i = 0; i < count; ++i) {
        d[i] = s[i];
    }
}

bool sameBytes(const void* a, const void* b, u32 count) {
    const volatile u8* x = static_cast<const volatile u8*>(a);
    const volatile u8* y = static_cast<const volatile u8*>(b);
    for (u32 i = 0; i < count; ++i) {
        if (x[i] != y[i]) {
            return false;
        }
    }
    return true;
}

u32 stackPointer() {
    u32 sp;
    __asm__ volatile("movl %%esp, %0" : "=r"(sp));
    return sp;
}

// Zero-initialised statics: no memset needed for these large records.
DeviceConfig config;
DeviceConfig quietConfig;
LogRecord hostLog;
LogRecord quietLog;
u8 hostLogCopy[sizeof(LogRecord)];
u8 configCopy[sizeof(DeviceConfig)];

void makeLog(LogRecord& log, const char* name, u8 enabled) {
    log.enabled = enabled;  // stamps stay off: every line is exact
    copyText(log.name, name);
    copyText(log.infoWord, "INFO");
    copyText(log.errorWord, "ERROR");
    copyText(log.warningWord, "WARNING");
    copyText(log.debugWord, "DEBUG");
    log.debugThreshold = 4;
    log.debugLevel = 1;  // the device's class level: DEBUG lines open
    log.classLevel = 0;
}

// Many calls with two stack arguments each: a caller and callee that disagree
// on who pops would move the stack pointer, and a callee that clobbers the
// caller's saved registers would spoil the running sums.
void hammerSend(Device* device) {
    const u32 before = stackPointer();
    i32 resultSum = 0;
    u32 mix = 0x12345678u;
    i32 i = 0;
    for (; i < 1000; ++i) {
        resultSum += device->send(i, ~i);
        mix = mix * 31u + static_cast<u32>(i);
    }
    const u32 after = stackPointer();
    u32 expectedMix = 0x12345678u;
    for (i32 j = 0; j < 1000; ++j) {
        expectedMix = expectedMix * 31u + static_cast<u32>(j);
    }
    check(after == before, "stack pointer unchanged after 1000 send calls");
    checkValue(resultSum, -1000, "sum of 1000 send calls");
    check(i == 1000 && mix == expectedMix, "locals survive 1000 send calls");
}

u32 run() {
    out = GetStdHandle(static_cast<u32>(-11));

    void* library = LoadLibraryA("pallador.dll");
    check(library != nullptr, "LoadLibraryA pallador.dll");
    if (library == nullptr) {
        return 1;
    }
    CreateDev createDev = reinterpret_cast<CreateDev>(GetProcAddress(library, "createDev"));
    DeleteDev deleteDev = reinterpret_cast<DeleteDev>(GetProcAddress(library, "deleteDev"));
    check(createDev != nullptr, "GetProcAddress createDev");
    check(deleteDev != nullptr, "GetProcAddress deleteDev");
    if (createDev == nullptr || deleteDev == nullptr) {
        return 1;
    }

    config.deviceName = "pallador";
    config.lineCount = 0;
    makeLog(hostLog, "HOST", 1);
    copyBytes(hostLogCopy, &hostLog, sizeof hostLog);
    copyBytes(configCopy, &config, sizeof config);

    Device* device = createDev(&config, &hostLog);
    check(device != nullptr, "createDev returned a device");
    if (device == nullptr) {
        return 1;
    }
    checkValue(device->configure(), 1, "configure");
    check(device->start(), "start returned true");
    checkValue(device->send(0, 0), -1, "send(0, 0)");
    check(device->stop(), "stop returned true");
    checkValue(device->configure(), 1, "configure after stop");

    // A second device whose log is disabled, so the loop prints nothing.
    quietConfig.deviceName = "quiet";
    makeLog(quietLog, "QUIET", 0);
    Device* quiet = createDev(&quietConfig, &quietLog);
    check(quiet != nullptr && quiet != device, "createDev returned a second device");
    if (quiet != nullptr) {
        hammerSend(quiet);
        check(deleteDev(quiet), "deleteDev of the second device returned true");
    }

    check(deleteDev(device), "deleteDev returned true");
    check(!deleteDev(nullptr), "deleteDev(null) returned false");
    check(sameBytes(&hostLog, hostLogCopy, sizeof hostLog), "host log record unchanged");
    check(sameBytes(&config, configCopy, sizeof config), "device configuration unchanged");
    check(FreeLibrary(library) != 0, "FreeLibrary pallador.dll");
    return failures == 0 ? 0 : 1;
}

}  // namespace

extern "C" void __cdecl mainCRTStartup() {
    ExitProcess(run());
}
