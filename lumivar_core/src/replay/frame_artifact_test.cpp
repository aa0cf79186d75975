#include "lumivar_core/replay/frame_artifact.hpp"

#include <gtest/gtest.h>

#include "lumivar_core/encoding/hex_testing.hpp"

namespace lumivar {
namespace {

FrameArtifact sample(FrameEvidenceKind kind, ByteString bytes) {
  SchemaRef representation{"chip8.frame_fingerprint", {1, 0, 0}};
  if (kind == FrameEvidenceKind::Fingerprint) {
    return frame_artifact_fingerprint(representation, "run-1", "chip8", "mv", 5, 600, 9, std::move(bytes));
  }
  return frame_artifact_full(representation, "run-1", "chip8", "mv", 5, 600, 9, std::move(bytes));
}

TEST(FrameArtifact, GoldenVectors) {
  struct Case {
    FrameEvidenceKind kind;
    std::string_view evidence;
  };
  const Case cases[] = {
      {FrameEvidenceKind::Fingerprint, R"({"fingerprint":{"bytes":[1,255]}})"},
      {FrameEvidenceKind::Full, R"({"full":{"bytes":[1,255]}})"},
  };
  for (const Case& c : cases) {
    FrameArtifact artifact = sample(c.kind, {1, 255});
    EXPECT_EQ(artifact.schema, (SchemaRef{"lumivar.frame_artifact", {1, 0, 0}}));
    JsonWriter writer;
    write_frame_artifact(writer, artifact);
    std::string expected = R"({"evidence":)" + std::string(c.evidence) +
                           R"(,"frame":9,"machine_id":"chip8","machine_version":"mv",)"
                           R"("representation_schema":{"id":"chip8.frame_fingerprint","version":{"major":1,"minor":0,"patch":0}},)"
                           R"("run_id":"run-1","schema":{"id":"lumivar.frame_artifact","version":{"major":1,"minor":0,"patch":0}},)"
                           R"("sequence":5,"step":600})";
    EXPECT_BYTES_EQ(expected, writer.view());
  }
}

TEST(FrameArtifact, Validation) {
  struct Case {
    const char* name;
    void (*change)(FrameArtifact&);
    FrameEvidenceKind kind;
    std::string_view message;  // empty: accepted
  };
  const Case cases[] = {
      {"valid fingerprint", [](FrameArtifact&) {}, FrameEvidenceKind::Fingerprint, ""},
      {"valid full", [](FrameArtifact&) {}, FrameEvidenceKind::Full, ""},
      {"envelope patch", [](FrameArtifact& a) { a.schema.version.patch = 1; }, FrameEvidenceKind::Full,
       "unsupported frame-artifact envelope schema lumivar.frame_artifact 1.0.1"},
      {"envelope id", [](FrameArtifact& a) { a.schema.id = "lumivar.frame"; }, FrameEvidenceKind::Full,
       "unsupported frame-artifact envelope schema lumivar.frame 1.0.0"},
      {"schema before blank representation",
       [](FrameArtifact& a) {
         a.schema.version.major = 2;
         a.representation_schema.id = "";
       },
       FrameEvidenceKind::Full, "unsupported frame-artifact envelope schema lumivar.frame_artifact 2.0.0"},
      {"blank representation", [](FrameArtifact& a) { a.representation_schema.id = "   "; },
       FrameEvidenceKind::Full, "frame representation schema cannot be empty"},
      {"representation before evidence",
       [](FrameArtifact& a) {
         a.representation_schema.id = "\t";
         a.evidence.bytes.clear();
       },
       FrameEvidenceKind::Full, "frame representation schema cannot be empty"},
      {"empty full", [](FrameArtifact& a) { a.evidence.bytes.clear(); }, FrameEvidenceKind::Full,
       "frame artifact evidence cannot be empty"},
      {"empty fingerprint", [](FrameArtifact& a) { a.evidence.bytes.clear(); }, FrameEvidenceKind::Fingerprint,
       "frame artifact evidence cannot be empty"},
  };
  for (const Case& c : cases) {
    FrameArtifact artifact = sample(c.kind, {7});
    c.change(artifact);
    Result<void> result = validate_frame_artifact(artifact);
    if (c.message.empty()) {
      EXPECT_TRUE(result.has_value()) << c.name << ": " << result.error().message;
    } else {
      ASSERT_FALSE(result.has_value()) << c.name;
      EXPECT_EQ(result.error().message, c.message) << c.name;
    }
  }
}

}  // namespace
}  // namespace lumivar
