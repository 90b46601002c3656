// Saving the body: an existing file is replaced only by a complete new one.
#include <gtest/gtest.h>

#include "common/codepage.h"
#include "tests/support/code_pages.h"
#include "tests/support/engine_fixture.h"

namespace wex {
namespace {

class EngineFiles : public EngineTest {
 protected:
  const ustring path = u"C:\\out\\news.xml";

  // The body arrives in two blocks, cut at `cut`.
  void Download(const std::string& body, size_t cut = std::string::npos) {
    ASSERT_EQ(Request(), 0);
    Receive("HTTP/1.0 200 OK\r\n\r\n" + body.substr(0, cut));
    if (cut < body.size()) Receive(body.substr(cut));
    PeerCloses();
  }
  int32_t Save(bool binary, bool ifDelete) {
    return binary ? engine->WriteBinaryFile1(path, ifDelete)
                  : engine->WriteTextFile1(path, ifDelete);
  }
};

// Nothing to save, no IfDelete or a read-only file: what is there stays.
TEST_F(EngineFiles, WhenAnExistingFileIsLeftAlone) {
  struct Case {
    const char* body;  // nullptr: no transfer yet
    bool exists, readOnly, ifDelete;
    int32_t code;
  } cases[] = {
      {nullptr, false, false, true, 2}, {nullptr, true, false, true, 2},
      {nullptr, true, false, false, 1}, {"", true, false, true, 2},
      {"new", true, false, false, 1},   {"new", true, true, true, 3},
      {"new", true, true, false, 1},
  };
  for (const Case& c : cases) {
    for (bool binary : {false, true}) {
      SCOPED_TRACE(std::to_string(&c - cases) + (binary ? " binary" : " text"));
      Fresh();
      if (c.body != nullptr) Download(c.body);
      if (c.exists) fake->files[path] = "old";
      if (c.readOnly) fake->readOnly.insert(path);
      EXPECT_EQ(Save(binary, c.ifDelete), c.code);
      EXPECT_EQ(fake->files.size(), c.exists ? 1u : 0u);
      if (c.exists) {
        EXPECT_EQ(fake->files[path], "old");
      }
      EXPECT_TRUE(fake->newFiles.empty());
      EXPECT_TRUE(fake->createdFiles.empty());
      EXPECT_TRUE(fake->deletedFiles.empty());
    }
  }
}

TEST_F(EngineFiles, BinarySaveWritesExactlyTheBody) {
  std::string body;
  for (int b = 0; b < 256; ++b) body += static_cast<char>(b);
  body += std::string(20000, 'x');
  Download(body, 100);
  EXPECT_EQ(Save(true, false), 0);
  EXPECT_EQ(fake->files[path], body);
  EXPECT_EQ(fake->createdFiles, std::vector<ustring>{path});
}

class EngineTextFiles : public EngineFiles, public UnderEachCodePage {};

TEST_P(EngineTextFiles, TextSaveWritesTheTextAndNoExtraLineEnd) {
  struct Case {
    uint32_t codePage;  // 0: every one
    std::string body;
    std::string file;
  } cases[] = {
      {0, "a\nb", "a\r\nb"},
      {1252, "\x80\xE9\n", "\x80\xE9\r\n"},
      // Bytes the code page reads otherwise come back as what they read as.
      {932, "\x82\nb", "\x81\x45\x62"},
      {65001, "\xE6\nb", "\xEF\xBF\xBD\r\nb"},
  };
  for (const Case& c : cases) {
    if (c.codePage != 0 && c.codePage != GetParam()) continue;
    Download(c.body);
    EXPECT_EQ(Save(false, true), 0) << c.body;
    EXPECT_EQ(fake->files[path], c.file) << c.body;
  }
}

// The code page's letters come back as their own bytes wherever blocks part.
TEST_P(EngineTextFiles, LettersOfTheCodePageComeBackAsTheirBytes) {
  const std::string body = TextToAnsi(u"\u65E5\u672C\u3042\n\u4E2D\uAC00\u00E9\u8868\n");
  std::string file;
  for (char c : body) file += c == '\n' ? std::string("\r\n") : std::string(1, c);
  for (size_t cut = 0; cut <= body.size(); ++cut) {
    Download(body, cut);
    EXPECT_EQ(Save(false, true), 0) << cut;
    EXPECT_EQ(fake->files[path], file) << cut;
  }
}

WEX_UNDER_EACH_CODE_PAGE(EngineTextFiles);

// Nothing half-written is left: no target at all, or the old one alone.
TEST_F(EngineFiles, AFileThatCannotBeWrittenGivesThree) {
  using Script = std::function<void(FakePlatform&, const ustring&)>;
  struct Case {
    Script script;
    bool old;  // the target exists: the new content goes beside it
  } cases[] = {
      {[](FakePlatform& f, const ustring& p) { f.folders.insert(p); }, false},
      {[](FakePlatform& f, const ustring& p) { f.uncreatable.insert(p); }, false},
      {[](FakePlatform& f, const ustring& p) { f.unwritable.insert(p); }, false},
      {[](FakePlatform& f, const ustring& p) { f.unclosable.insert(p); }, false},
      {[](FakePlatform& f, const ustring&) {
         f.beforeNewFile = [&f](const ustring& t) { f.unwritable.insert(t); };
       },
       true},
      {[](FakePlatform& f, const ustring&) {
         f.beforeNewFile = [&f](const ustring& t) { f.unclosable.insert(t); };
       },
       true},
  };
  Download("new content");
  for (const Case& c : cases) {
    for (bool binary : {false, true}) {
      SCOPED_TRACE(std::to_string(&c - cases) + (binary ? " binary" : " text"));
      *fake = FakePlatform();  // the engine keeps its body; only the files start afresh
      if (c.old) fake->files[path] = "old content";
      c.script(*fake, path);
      EXPECT_EQ(Save(binary, true), 3);
      EXPECT_EQ(fake->files.size(), c.old ? 1u : 0u);
      if (c.old) {
        EXPECT_EQ(fake->files[path], "old content");
      }
    }
  }
}

// Every file call would end "keep.dll\0.txt" at its NUL.
TEST_F(EngineFiles, AnEmptyPathOrOneHoldingANulIsNotWritten) {
  Download("new");
  fake->files[u"keep.dll"] = "old";
  const ustring nul = ustring(u"keep.dll") + char16_t(0) + u".txt";
  for (const ustring& path : {ustring(), nul}) {
    EXPECT_EQ(engine->WriteBinaryFile1(path, true), 3);
    EXPECT_EQ(engine->WriteTextFile1(path, false), 3);
  }
  EXPECT_EQ(fake->files, (std::map<ustring, std::string>{{u"keep.dll", "old"}}));
  EXPECT_TRUE(fake->createdFiles.empty());
}

// The new file's name stays short, whatever the length of the target's, and
// a taken name belongs to someone else: neither opened nor removed.
TEST_F(EngineFiles, TheNewContentIsWrittenBesideTheTargetUnderAShortName) {
  const ustring longName = u"C:\\out\\" + ustring(250, u'n') + u".txt";
  const ustring paths[] = {path, u"news.xml", u"C:news.xml", u"/srv/out/news.xml", longName};
  Download("new");
  for (const ustring& target : paths) {
    *fake = FakePlatform();
    fake->files[target] = "old";
    fake->beforeNewFile = [&](const ustring& t) {
      if (fake->newFiles.size() < 3) fake->files[t] = "a stranger's";
    };
    EXPECT_EQ(engine->WriteBinaryFile1(target, true), 0);
    EXPECT_EQ(fake->files[target], "new");
    ASSERT_EQ(fake->newFiles.size(), 3u);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(fake->files[fake->newFiles[i]], "a stranger's");
    EXPECT_EQ(fake->files.size(), 3u);
    EXPECT_TRUE(fake->deletedFiles.empty());
    const ustring& temporary = fake->newFiles[2];
    const size_t folderEnd = target.find_last_of(u"\\/:") + 1;  // 0 for a bare name
    EXPECT_EQ(temporary.substr(0, folderEnd), target.substr(0, folderEnd));
    EXPECT_EQ(temporary.find_first_of(u"\\/:", folderEnd), ustring::npos);
    EXPECT_LE(temporary.size() - folderEnd, 16u);
    EXPECT_TRUE(fake->createdFiles == std::vector<ustring>{temporary});  // never the target
  }
}

// Without a new file beside it, the target is overwritten as a delete and rewrite would.
TEST_F(EngineFiles, WithoutANewFileBesideItTheTargetIsWrittenInPlace) {
  using Script = std::function<void(FakePlatform&)>;
  struct Case {
    const char* name;
    Script script;
  } cases[] = {
      {"folder refuses new files",
       [](FakePlatform& f) {
         f.beforeNewFile = [&f](const ustring& t) { f.uncreatable.insert(t); };
       }},
      {"every name taken",
       [](FakePlatform& f) { f.beforeNewFile = [&f](const ustring& t) { f.files[t] = "x"; }; }},
      {"not replaced", [](FakePlatform& f) { f.replaceFails = true; }},
  };
  Download("new content");
  for (const Case& c : cases) {
    for (bool binary : {false, true}) {
      *fake = FakePlatform();
      fake->files[path] = "old content that is longer";
      c.script(*fake);
      EXPECT_EQ(Save(binary, true), 0) << c.name;
      EXPECT_EQ(fake->files[path], "new content") << c.name;
      EXPECT_EQ(fake->createdFiles.back(), path) << c.name;
      for (const ustring& t : fake->newFiles) {
        if (fake->files.count(t) != 0) {
          EXPECT_EQ(fake->files[t], "x") << c.name;
        }
      }
    }
  }
  // A failure there too is a failure.
  *fake = FakePlatform();
  fake->files[path] = "old";
  fake->replaceFails = true;
  fake->unwritable.insert(path);
  EXPECT_EQ(Save(true, true), 3);
}

}  // namespace
}  // namespace wex
