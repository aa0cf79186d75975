#include "lumivar_core/observation/capability_resolution.hpp"

#include <algorithm>
#include <type_traits>

#include "lumivar_core/encoding/canonical_json.hpp"
#include "lumivar_core/error/message.hpp"
#include "lumivar_core/event/event_kind.hpp"

namespace lumivar {
namespace {

// Level names as the "does not satisfy" messages write them.
std::string level_name(AccessDetail detail) {
  switch (detail) {
    case AccessDetail::None: return "None";
    case AccessDetail::AfterOnly: return "AfterOnly";
    case AccessDetail::BeforeAndAfter: return "BeforeAndAfter";
  }
  return "None";
}

std::string level_name(FrameCapture capture) {
  switch (capture) {
    case FrameCapture::None: return "None";
    case FrameCapture::Hashes: return "Hashes";
    case FrameCapture::Full: return "Full";
  }
  return "None";
}

std::string level_name(SnapshotCaptureKind capture) {
  switch (capture) {
    case SnapshotCaptureKind::None: return "None";
    case SnapshotCaptureKind::Final: return "Final";
    case SnapshotCaptureKind::EverySteps: return "EverySteps";
  }
  return "None";
}

std::string level_name(const SnapshotCapture& capture) {
  if (capture.kind == SnapshotCaptureKind::EverySteps) {
    return "EverySteps(" + std::to_string(capture.every_steps) + ")";
  }
  return level_name(capture.kind);
}

// A selector as its compact JSON form, e.g. {"kind":"input_id","value":"a.b"}.
std::string selector_text(const InputValueSelector& selector) {
  auto text = canonical_json_bytes(to_json(selector));
  return text ? *text : std::string();
}

using Unsatisfied = std::optional<std::string>;

Unsatisfied check(const CapabilityResolutionContext&, const NormalizedEventsDependency&,
                  const ObservationRequest& request) {
  if (request.normalized_events.events.is_none()) return "normalized event channel is not selected";
  return std::nullopt;
}

Unsatisfied check(const CapabilityResolutionContext&, const NormalizedEventKindsDependency& dependency,
                  const ObservationRequest& request) {
  for (const std::string& text : dependency.kinds) {
    std::optional<EventKind> kind = parse_event_kind_text(text);
    if (!kind) return "unknown normalized event kind " + quoted(text);
    if (!selects(request.normalized_events.events, *kind)) {
      return "normalized event kind " + quoted(text) + " is not selected";
    }
  }
  return std::nullopt;
}

Unsatisfied check(const CapabilityResolutionContext&, const NormalizedStateDependency& dependency,
                  const ObservationRequest& request) {
  const NormalizedEventRequest& normalized = request.normalized_events;
  if (normalized.events.is_none()) return "normalized event channel is not selected";
  if ((dependency.read || dependency.write) && normalized.access_detail == AccessDetail::None) {
    return "normalized state reads/writes require access detail";
  }
  if (dependency.state_diffs && !normalized.state_diffs) return "normalized state diffs are not selected";
  const bool satisfied = dependency.access == AccessDetail::BeforeAndAfter
                             ? normalized.access_detail == AccessDetail::BeforeAndAfter
                             : normalized.access_detail != AccessDetail::None;
  if (!satisfied) {
    return "normalized access detail " + level_name(normalized.access_detail) + " does not satisfy " +
           level_name(dependency.access);
  }
  return std::nullopt;
}

Unsatisfied check(const CapabilityResolutionContext&, const NativeEvidenceDependency&, const ObservationRequest&) {
  // Names the native observation schema the capability reads; always satisfiable.
  return std::nullopt;
}

Unsatisfied check(const CapabilityResolutionContext&, const NativeEventKindsDependency& dependency,
                  const ObservationRequest& request) {
  const NativeEvidenceRequest& native = request.native_evidence;
  if (!native.enabled) return "native evidence channel is not selected";
  if (native.all) return std::nullopt;
  for (const std::string& kind : dependency.kinds) {
    if (std::find(native.kinds.begin(), native.kinds.end(), kind) == native.kinds.end()) {
      return "native event kind " + quoted(kind) + " is not selected";
    }
  }
  return std::nullopt;
}

Unsatisfied check(const CapabilityResolutionContext&, const FramesDependency& dependency,
                  const ObservationRequest& request) {
  const FrameCapture capture = request.frames.capture;
  const bool satisfied =
      dependency.capture == FrameCapture::Full ? capture == FrameCapture::Full : capture != FrameCapture::None;
  if (!satisfied) return "frame capture " + level_name(capture) + " does not satisfy " + level_name(dependency.capture);
  return std::nullopt;
}

Unsatisfied check(const CapabilityResolutionContext&, const SnapshotsDependency& dependency,
                  const ObservationRequest& request) {
  const SnapshotCapture& capture = request.snapshots.capture;
  if (capture.kind != dependency.capture) {
    return "snapshot capture " + level_name(capture) + " does not satisfy " + level_name(dependency.capture);
  }
  return std::nullopt;
}

Unsatisfied check(const CapabilityResolutionContext&, const FinalStateDependency&, const ObservationRequest& request) {
  if (request.snapshots.capture.kind != SnapshotCaptureKind::Final) {
    return "final-state access requires an explicit final snapshot";
  }
  return std::nullopt;
}

Unsatisfied check(const CapabilityResolutionContext& context, const InputValueEvidenceDependency& dependency,
                  const ObservationRequest& request) {
  if (!request.input_value_evidence.enabled) return "input-value evidence channel is not selected";
  for (const InputValueSelector& selector : dependency.selectors) {
    const bool matched = std::any_of(context.inputs.begin(), context.inputs.end(),
                                     [&](const SelectableInput& input) { return selector_matches(selector, input); });
    if (!matched) return "input-value selector " + selector_text(selector) + " matches no declared input";
  }
  return std::nullopt;
}

}  // namespace

CapabilityResolution resolve_capability(const CapabilityResolutionContext& context, std::string_view id,
                                        CapabilityMemo& memo, CapabilityPath& path) {
  if (auto found = memo.find(id); found != memo.end()) return found->second;
  if (path.contains(id)) {
    return CapabilityResolution{false, "capability dependency cycle reaches " + std::string(id)};
  }
  const NormalizerCapability* entry = context.catalog.find(id);
  if (entry == nullptr) {
    CapabilityResolution undeclared{false, "capability is not declared by the normalizer catalog"};
    memo.emplace(std::string(id), undeclared);
    return undeclared;
  }

  auto on_path = path.emplace(id).first;
  CapabilityResolution result{true, std::nullopt};
  for (const CapabilityDependency& dependency : entry->dependencies) {
    Unsatisfied unsatisfied;
    if (const auto* other = std::get_if<CapabilityIdDependency>(&dependency)) {
      CapabilityResolution inner = resolve_capability(context, other->id, memo, path);
      if (!inner.available) {
        unsatisfied = "dependent capability " + other->id + " is unavailable: " +
                      inner.message.value_or("dependency is unavailable");
      }
    } else {
      unsatisfied = std::visit(
          [&](const auto& d) -> Unsatisfied {
            if constexpr (std::is_same_v<std::decay_t<decltype(d)>, CapabilityIdDependency>) {
              return std::nullopt;  // handled above
            } else {
              return check(context, d, context.request);
            }
          },
          dependency);
    }
    if (unsatisfied) {
      result = CapabilityResolution{false, std::move(unsatisfied)};
      break;
    }
  }
  path.erase(on_path);
  memo.emplace(std::string(id), result);
  return result;
}

}  // namespace lumivar
