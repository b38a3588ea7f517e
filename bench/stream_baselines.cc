#include "stream_baselines.h"

#include <stdexcept>

#include <boost/json/basic_parser_impl.hpp>

#include "posix_io.h"
#include "sax_handler_base.h"

namespace kelab_bench {
namespace {

namespace bj = boost::json;
using bj::string_view;
using error_code = boost::system::error_code;

using Refusing = RefusingHandler;

// One record text: a flat object of the four text members.
struct RecordHandler : Refusing {
  Record* record = nullptr;
  std::string* field = nullptr;
  std::size_t depth = 0;

  bool on_object_begin(error_code& ec) { return ++depth == 1 || Refuse(ec); }
  bool on_object_end(std::size_t, error_code&) {
    --depth;
    return true;
  }
  bool on_key_part(string_view part, std::size_t, error_code&) {
    key.append(part);
    return true;
  }
  bool on_key(string_view part, std::size_t, error_code&) {
    key.append(part);
    field = key == "variation"        ? &record->variation
            : key == "challengerType" ? &record->challengerType
            : key == "variationId"    ? &record->variationId
            : key == "campaignId"     ? &record->campaignId
                                      : nullptr;
    key.clear();
    if (field) field->clear();
    return true;
  }
  bool on_string_part(string_view part, std::size_t, error_code& ec) { return Text(part, ec); }
  bool on_string(string_view part, std::size_t, error_code& ec) { return Text(part, ec); }
  bool Text(string_view part, error_code& ec) {
    if (depth == 0) return Refuse(ec);
    if (field) field->append(part);
    return true;
  }
  std::string key;
};

// The state file: one member per record, parsed as its text completes.
struct FileHandler : Refusing {
  std::vector<Record> records;
  std::string text;  // the record text being read
  std::size_t depth = 0;
  bj::basic_parser<RecordHandler> recordParser{bj::parse_options()};

  bool on_object_begin(error_code& ec) { return ++depth == 1 || Refuse(ec); }
  bool on_object_end(std::size_t, error_code&) {
    --depth;
    return true;
  }
  bool on_key_part(string_view part, std::size_t, error_code&) {
    Name(part);
    return true;
  }
  bool on_key(string_view part, std::size_t, error_code&) {
    Name(part);
    return true;
  }
  bool on_string_part(string_view part, std::size_t, error_code& ec) {
    if (depth == 0) return Refuse(ec);
    text.append(part);
    return true;
  }
  bool on_string(string_view part, std::size_t, error_code& ec) {
    if (!on_string_part(part, 0, ec)) return false;
    recordParser.reset();
    recordParser.handler().record = &records.back();
    recordParser.write_some(false, text.data(), text.size(), ec);
    text.clear();
    naming = false;
    return !ec;
  }
  void Name(string_view part) {
    if (!naming) {
      records.emplace_back();
      naming = true;
    }
    records.back().id.append(part);
  }
  bool naming = false;
};

bool NeedsEscape(char c) { return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20; }

// Appends runs of plain bytes whole and escapes the rest as Boost.JSON does.
void AppendEscaped(std::string& out, const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (!NeedsEscape(c)) continue;
    out.append(text, start, i - start);
    start = i + 1;
    out += '\\';
    switch (c) {
      case '"':
      case '\\':
        out += c;
        break;
      case '\n':
        out += 'n';
        break;
      case '\r':
        out += 'r';
        break;
      case '\t':
        out += 't';
        break;
      case '\b':
        out += 'b';
        break;
      case '\f':
        out += 'f';
        break;
      default:
        out += "u00";
        out += kHex[static_cast<unsigned char>(c) >> 4];
        out += kHex[c & 15];
    }
  }
  out.append(text, start, std::string::npos);
}

void AppendMember(std::string& out, const char* name, const std::string& text) {
  out += out.size() == 1 ? "\"" : ",\"";
  out += name;
  out += "\":\"";
  AppendEscaped(out, text);
  out += '"';
}

}  // namespace

std::vector<Record> StreamLoad(const std::string& path) {
  const std::string text = ReadAll(path);
  bj::basic_parser<FileHandler> parser{bj::parse_options()};
  error_code ec;
  const std::size_t used = parser.write_some(false, text.data(), text.size(), ec);
  if (ec || used != text.size()) throw std::runtime_error("not a state file: " + path);
  return std::move(parser.handler().records);
}

std::string StreamSerialize(const std::vector<Record>& records) {
  // Room for every text and the punctuation and escapes around it.
  std::size_t size = 2;
  for (const Record& r : records) {
    size += r.id.size() + r.campaignId.size() + r.challengerType.size() + r.variation.size() +
            r.variationId.size() + 96;
  }
  std::string out = "{";
  out.reserve(size);
  std::string record;
  for (const Record& r : records) {
    record = "{";
    AppendMember(record, "campaignId", r.campaignId);
    AppendMember(record, "challengerType", r.challengerType);
    AppendMember(record, "variation", r.variation);
    AppendMember(record, "variationId", r.variationId);
    record += '}';
    out += out.size() == 1 ? "\"" : ",\"";
    AppendEscaped(out, r.id);
    out += "\":\"";
    AppendEscaped(out, record);
    out += '"';
  }
  out += '}';
  return out;
}

void StreamSave(const std::vector<Record>& records, const std::string& path) {
  ReplaceFile(path, StreamSerialize(records));
}

}  // namespace kelab_bench
