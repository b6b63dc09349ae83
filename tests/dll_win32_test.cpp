// The real WYN.dll as the editor meets it on Windows: LoadLibrary, each
// export found by name and by ordinal at the same address, every host
// import bound by ordinal to the stand-in CWDLL32.dll and CWSTART.dll, and
// _init reached by ordinal registering the plug-in with the stand-in.
#if defined(_WIN32)

#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>
#include <windows.h>

#include <string>

#include "cwedit.h"

namespace {

struct Export {
  const char* name;
  WORD ordinal;
};
// grep ORDER EXPORTS: the table of plugin/frame/wyn.def.
const Export kExports[] = {
    {"_wyn_expand", 3},
    {"_wyn_init", 4},
    {"_wyn_indent", 5},
    {"_wyn_language_colors_update", 6},
    {"_init", 7},
    {"_wyn_assign_template", 8},
    {"_wyn_add_keyword", 9},
    {"_wyn_language_colors", 10},
    {"_wyn_routines", 11},
    {"_wyn_hash_size", 12},
    {"WYNSetCommentChar", 13},
};

uintptr_t proc_at(HMODULE module, WORD ordinal) {
  return reinterpret_cast<uintptr_t>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal)));
}

uintptr_t proc_named(HMODULE module, const char* name) {
  return reinterpret_cast<uintptr_t>(GetProcAddress(module, name));
}

// Each test loads its own WYN.dll and unloads it again, so the module's
// one-shot start-up flag is fresh for the tests that load it after.
class WynDll : public ::testing::Test {
 protected:
  void SetUp() override {
    cw_reset();
    ASSERT_EQ(GetModuleHandleA(WYN_PLUGIN_PATH), nullptr) << "WYN.dll left loaded";
    module = LoadLibraryA(WYN_PLUGIN_PATH);
    ASSERT_NE(module, nullptr) << "LoadLibrary(" WYN_PLUGIN_PATH ") failed: " << GetLastError();
  }
  void TearDown() override {
    if (module) {
      EXPECT_TRUE(FreeLibrary(module));
    }
    EXPECT_EQ(GetModuleHandleA(WYN_PLUGIN_PATH), nullptr);
    cw_reset();
  }
  HMODULE module = nullptr;
};

TEST_F(WynDll, ExportsAgreeByNameAndOrdinal) {
  for (const Export& e : kExports) {
    uintptr_t by_name = proc_named(module, e.name);
    EXPECT_NE(by_name, 0u) << e.name;
    EXPECT_EQ(proc_at(module, e.ordinal), by_name) << e.name << " @" << e.ordinal;
  }
  // Nothing below the base or past the last ordinal.
  EXPECT_EQ(proc_at(module, 2), 0u);
  EXPECT_EQ(proc_at(module, 14), 0u);
}

// Walks the import table of the loaded module: each entry from a host DLL
// must be by ordinal and bound to what that DLL exports at the ordinal.
TEST_F(WynDll, HostImportsBoundByOrdinalToTheStandIn) {
  const BYTE* base = reinterpret_cast<const BYTE*>(module);
  const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const IMAGE_NT_HEADERS32* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  ASSERT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  ASSERT_NE(dir.VirtualAddress, 0u);

  int hosts_seen = 0;
  for (const IMAGE_IMPORT_DESCRIPTOR* d =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
       d->Name != 0; d++) {
    std::string dll = reinterpret_cast<const char*>(base + d->Name);
    if (_stricmp(dll.c_str(), "CWDLL32.dll") != 0 && _stricmp(dll.c_str(), "CWSTART.dll") != 0)
      continue;
    hosts_seen++;
    HMODULE host = GetModuleHandleA(dll.c_str());
    ASSERT_NE(host, nullptr) << dll;
    ASSERT_NE(d->OriginalFirstThunk, 0u) << dll << ": no lookup table";
    const IMAGE_THUNK_DATA32* wanted =
        reinterpret_cast<const IMAGE_THUNK_DATA32*>(base + d->OriginalFirstThunk);
    const IMAGE_THUNK_DATA32* bound =
        reinterpret_cast<const IMAGE_THUNK_DATA32*>(base + d->FirstThunk);
    int entries = 0;
    for (; wanted->u1.AddressOfData != 0; wanted++, bound++, entries++) {
      ASSERT_TRUE(IMAGE_SNAP_BY_ORDINAL32(wanted->u1.Ordinal)) << dll << ": import by name";
      WORD ordinal = static_cast<WORD>(IMAGE_ORDINAL32(wanted->u1.Ordinal));
      uintptr_t target = proc_at(host, ordinal);
      EXPECT_NE(target, 0u) << dll << " has nothing at " << ordinal;
      EXPECT_EQ(static_cast<uintptr_t>(bound->u1.Function), target) << dll << " @" << ordinal;
    }
    EXPECT_GT(entries, 0) << dll;
  }
  EXPECT_EQ(hosts_seen, 2);
}

// Start-up through the export by ordinal, as the editor's loader calls it.
TEST_F(WynDll, InitByOrdinalRegistersWithTheStandIn) {
  typedef void(__cdecl * Entry)(void);
  Entry init = reinterpret_cast<Entry>(
      reinterpret_cast<void (*)(void)>(GetProcAddress(module, MAKEINTRESOURCEA(7))));
  ASSERT_NE(init, nullptr);
  init();
  EXPECT_EQ(cw_export_count(), 9u);
  ASSERT_EQ(cw_extension_count(), 1u);
  EXPECT_STREQ(cw_extension_at(0), ".wyn");
  EXPECT_EQ(cw_table_count(), 4u);  // three keyword tables and the templates
  init();                           // a second start-up does nothing
  EXPECT_EQ(cw_export_count(), 9u);
  EXPECT_EQ(cw_table_count(), 4u);
}

}  // namespace

#endif
