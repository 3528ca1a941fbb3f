#include "store_helpers.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace store_test {

namespace {

// A parsed JSON value: members keep their order and duplicates.
struct JsonMember;

struct Json {
  enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
  std::string text;  // a string's bytes, or a number as written
  std::vector<Json> items;
  std::vector<JsonMember> members;  // a pair would need Json complete here
};

struct JsonMember {
  std::string first;  // the key
  Json second;        // the value
};

// Strict JSON after RFC 8259, without the UTF-8 check (the tests write
// ASCII text only).
class Reader {
 public:
  explicit Reader(const std::string& s) : s_(s) {}

  bool document(Json& out) {
    skip_space();
    if (!value(out, 0)) return false;
    skip_space();
    return at_ == s_.size();
  }

 private:
  bool value(Json& out, int depth) {
    if (depth > 64 || at_ >= s_.size()) return false;
    char c = s_[at_];
    if (c == '{') return object(out, depth);
    if (c == '[') return array(out, depth);
    if (c == '"') {
      out.kind = Json::String;
      return string(out.text);
    }
    if (literal("true") || literal("false")) {
      out.kind = Json::Bool;
      out.text = c == 't' ? "true" : "false";
      return true;
    }
    if (literal("null")) return true;
    out.kind = Json::Number;
    return number(out.text);
  }

  bool object(Json& out, int depth) {
    out.kind = Json::Object;
    ++at_;
    skip_space();
    if (take('}')) return true;
    for (;;) {
      skip_space();
      std::string key;
      if (at_ >= s_.size() || s_[at_] != '"' || !string(key)) return false;
      skip_space();
      if (!take(':')) return false;
      skip_space();
      Json v;
      if (!value(v, depth + 1)) return false;
      out.members.push_back(JsonMember{std::move(key), std::move(v)});
      skip_space();
      if (take('}')) return true;
      if (!take(',')) return false;
    }
  }

  bool array(Json& out, int depth) {
    out.kind = Json::Array;
    ++at_;
    skip_space();
    if (take(']')) return true;
    for (;;) {
      skip_space();
      Json v;
      if (!value(v, depth + 1)) return false;
      out.items.push_back(std::move(v));
      skip_space();
      if (take(']')) return true;
      if (!take(',')) return false;
    }
  }

  bool string(std::string& out) {
    ++at_;  // the opening quote
    while (at_ < s_.size()) {
      auto c = static_cast<unsigned char>(s_[at_++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (at_ >= s_.size()) return false;
      char e = s_[at_++];
      switch (e) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          unsigned code = 0;
          if (!hex4(code)) return false;
          if (code >= 0xd800 && code < 0xdc00) {
            unsigned low = 0;
            if (!take('\\') || !take('u') || !hex4(low) || low < 0xdc00 || low >= 0xe000) return false;
            code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
          } else if (code >= 0xdc00 && code < 0xe000) {
            return false;
          }
          utf8(out, code);
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }

  bool number(std::string& out) {
    size_t start = at_;
    take('-');
    if (take('0')) {
    } else if (!digits()) {
      return false;
    }
    if (take('.') && !digits()) return false;
    if (take('e') || take('E')) {
      if (!take('+')) take('-');
      if (!digits()) return false;
    }
    out = s_.substr(start, at_ - start);
    return true;
  }

  bool digits() {
    size_t start = at_;
    while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9') ++at_;
    return at_ > start;
  }

  bool hex4(unsigned& code) {
    for (int i = 0; i < 4; ++i) {
      if (at_ >= s_.size()) return false;
      char h = s_[at_++];
      unsigned d = 0;
      if (h >= '0' && h <= '9')
        d = static_cast<unsigned>(h - '0');
      else if (h >= 'a' && h <= 'f')
        d = static_cast<unsigned>(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F')
        d = static_cast<unsigned>(h - 'A' + 10);
      else
        return false;
      code = code * 16 + d;
    }
    return true;
  }

  static void utf8(std::string& out, unsigned code) {
    auto add = [&](unsigned v) { out += static_cast<char>(static_cast<unsigned char>(v)); };
    if (code < 0x80) {
      add(code);
    } else if (code < 0x800) {
      add(0xc0 | (code >> 6));
      add(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
      add(0xe0 | (code >> 12));
      add(0x80 | ((code >> 6) & 0x3f));
      add(0x80 | (code & 0x3f));
    } else {
      add(0xf0 | (code >> 18));
      add(0x80 | ((code >> 12) & 0x3f));
      add(0x80 | ((code >> 6) & 0x3f));
      add(0x80 | (code & 0x3f));
    }
  }

  bool literal(const char* word) {
    std::string w = word;
    if (s_.compare(at_, w.size(), w) != 0) return false;
    at_ += w.size();
    return true;
  }

  bool take(char c) {
    if (at_ < s_.size() && s_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }

  void skip_space() {
    while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r'))
      ++at_;
  }

  const std::string& s_;
  size_t at_ = 0;
};

bool is_integer(const Json& v) {
  return v.kind == Json::Number && v.text.find_first_of(".eE") == std::string::npos;
}

bool fail(std::string* why, const std::string& reason) {
  if (why) *why = reason;
  return false;
}

bool read_thought(const Json& t, SeenThought& out, std::string* why) {
  if (t.kind != Json::Object || t.members.size() < 5)
    return fail(why, "a thought is no object of 5+ members");
  const auto& m = t.members;
  if (m[0].first != "thought" || m[0].second.kind != Json::String)
    return fail(why, "a thought without its text");
  if (m[1].first != "thought_number" || !is_integer(m[1].second))
    return fail(why, "a thought without its number");
  if (m[2].first != "total_thoughts" || !is_integer(m[2].second))
    return fail(why, "a thought without its total");
  if (m[3].first != "next_needed" || m[3].second.kind != Json::Bool)
    return fail(why, "a thought without next_needed");
  if (m.back().first != "at" || !is_integer(m.back().second)) return fail(why, "a thought without its time");
  out.text = m[0].second.text;
  out.number = std::stoll(m[1].second.text);
  return true;
}

bool read_chain(const Json& c, SeenChain& out, std::string* why) {
  static const char* const kKeys[] = {"id", "started_at", "updated_at", "thoughts", "count", "branches"};
  if (c.kind != Json::Object || c.members.size() != 6) return fail(why, "a chain is no object of 6 members");
  for (size_t i = 0; i < 6; ++i) {
    if (c.members[i].first != kKeys[i])
      return fail(why, std::string("chain member ") + kKeys[i] + " misplaced");
  }
  const Json& id = c.members[0].second;
  const Json& thoughts = c.members[3].second;
  const Json& count = c.members[4].second;
  if (id.kind != Json::String) return fail(why, "a chain id is no string");
  if (!is_integer(c.members[1].second) || !is_integer(c.members[2].second)) return fail(why, "chain times");
  if (thoughts.kind != Json::Array || c.members[5].second.kind != Json::Array)
    return fail(why, "chain arrays");
  if (!is_integer(count) || count.text != std::to_string(thoughts.items.size()))
    return fail(why, "count is wrong");
  out.id = id.text;
  for (const Json& t : thoughts.items) {
    SeenThought seen;
    if (!read_thought(t, seen, why)) return false;
    out.thoughts.push_back(std::move(seen));
  }
  return true;
}

}  // namespace

std::optional<std::vector<SeenChain>> parse_store(const std::string& bytes, std::string* why) {
  Json root;
  Reader reader(bytes);
  if (!reader.document(root)) {
    fail(why, "not JSON");
    return std::nullopt;
  }
  if (root.kind != Json::Object || root.members.size() != 1 || root.members[0].first != "chains" ||
      root.members[0].second.kind != Json::Array) {
    fail(why, "the root is not {\"chains\":[...]}");
    return std::nullopt;
  }
  std::vector<SeenChain> chains;
  for (const Json& c : root.members[0].second.items) {
    SeenChain seen;
    if (!read_chain(c, seen, why)) return std::nullopt;
    chains.push_back(std::move(seen));
  }
  return chains;
}

const SeenChain* chain_of(const std::vector<SeenChain>& chains, pid_t pid) {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "-%lx", static_cast<unsigned long>(pid));
  std::string tail = suffix;
  for (const SeenChain& c : chains) {
    if (c.id.rfind("th-", 0) == 0 && c.id.size() > tail.size() &&
        c.id.compare(c.id.size() - tail.size(), tail.size(), tail) == 0) {
      return &c;
    }
  }
  return nullptr;
}

std::string thought_args(const std::string& text, long long n, long long total) {
  return R"({"thought":")" + text + R"(","thoughtNumber":)" + std::to_string(n) + R"(,"totalThoughts":)" +
         std::to_string(total) + R"(,"nextThoughtNeeded":)" + (n < total ? "true" : "false") + "}";
}

pid_t spawn_mcp(const std::map<std::string, std::string>& env, const std::string& in_path,
                const std::string& out_path, const std::string& err_path) {
  // Everything the child needs is prepared before the fork.
  std::string exe = program_path();
  std::vector<std::string> env_strings = {
      "PATH=" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin")};
  for (const auto& [name, value] : env) env_strings.push_back(name + "=" + value);
  std::string arg0 = exe, arg1 = "--mcp";
  std::vector<char*> argv = {arg0.data(), arg1.data(), nullptr};
  std::vector<char*> envp;
  for (auto& e : env_strings) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = fork();
  if (pid == 0) {
    int in = open(in_path.c_str(), O_RDONLY);
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    close(in);
    close(out);
    close(err);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  return pid;
}

int wait_child(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::optional<int> poll_child(pid_t pid) {
  int status = 0;
  pid_t r = waitpid(pid, &status, WNOHANG);
  if (r == 0 || (r < 0 && errno == EINTR)) return std::nullopt;
  if (r < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::optional<std::string> read_if_present(const std::string& path) {
  // stdio rather than a stream iterator: optimised GCC 12 builds warn
  // falsely about the iterator.
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!f) return std::nullopt;
  std::string bytes;
  char chunk[65536];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0;) bytes.append(chunk, n);
  return bytes;
}

std::map<std::string, std::string> snapshot_files(const std::string& dir) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> files;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return files;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (e.is_regular_file()) files[fs::relative(e.path(), dir).string()] = read_bytes(e.path().string());
  }
  return files;
}

}  // namespace store_test
