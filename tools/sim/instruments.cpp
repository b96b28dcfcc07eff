#include "instruments.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <sstream>

namespace qsim {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string trim(const std::string& s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && isBlank(s[b])) b++;
    while (e > b && isBlank(s[e - 1])) e--;
    return s.substr(b, e - b);
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool sameText(const std::string& a, const std::string& b) {
    return upper(a) == upper(b);
}

// The instruments answer numbers the way SCPI instruments commonly do.
std::string sci(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%+.6E", v);
    return buf;
}

bool parseNumber(const std::string& s, double* v) {
    const char* end = s.data() + s.size();
    auto r = std::from_chars(s.data(), end, *v);
    return r.ec == std::errc() && r.ptr == end && std::isfinite(*v);
}

bool parseInt(const std::string& s, int lo, int hi, int* v) {
    const char* end = s.data() + s.size();
    auto r = std::from_chars(s.data(), end, *v);
    return r.ec == std::errc() && r.ptr == end && *v >= lo && *v <= hi;
}

std::optional<std::string> psu(Instrument& in, const std::string& head, const std::string& arg) {
    double v = 0.0;
    if (head == "*IDN?") return "QUORVEL-SIM,PSU,0,1.0";
    if (head == "*RST") {
        in.volt = 0.0;
        in.curr = 0.1;
        in.output = false;
    } else if (head == "VOLT?") {
        return sci(in.volt);
    } else if (head == "CURR?") {
        return sci(in.curr);
    } else if (head == "OUTP?") {
        return in.output ? "1" : "0";
    } else if (head == "VOLT" && parseNumber(arg, &v)) {
        in.volt = v;
    } else if (head == "CURR" && parseNumber(arg, &v)) {
        in.curr = v;
    } else if (head == "OUTP" && (arg == "ON" || arg == "1")) {
        in.output = true;
    } else if (head == "OUTP" && (arg == "OFF" || arg == "0")) {
        in.output = false;
    }
    return std::nullopt;
}

std::optional<std::string> dmm(const std::string& head, double t) {
    // A slow drift of a few millivolts, as a real source shows on a 6-digit
    // meter, so readings visibly change from one display pass to the next.
    double wave = std::sin(2.0 * std::numbers::pi * t / 30.0);
    if (head == "*IDN?") return "QUORVEL-SIM,DMM,0,1.0";
    if (head == "MEAS:VOLT?" || head == "MEAS:VOLT:DC?") return sci(5.0 + 0.002 * wave);
    if (head == "MEAS:CURR?" || head == "MEAS:CURR:DC?") return sci(0.1 + 0.0005 * wave);
    return std::nullopt;
}

} // namespace

std::optional<std::string> Instrument::respond(const std::string& line, double t) {
    std::string text = trim(line);
    for (const auto& [query, answer] : answers)
        if (sameText(query, text)) return answer;
    size_t sp = 0;
    while (sp < text.size() && !isBlank(text[sp])) sp++;
    std::string head = upper(text.substr(0, sp));
    std::string arg = upper(trim(text.substr(sp)));
    if (head == "*OPC?") return "1";
    switch (kind) {
    case Kind::Psu:
        return psu(*this, head, arg);
    case Kind::Dmm:
        return dmm(head, t);
    case Kind::Generic:
        break;
    }
    return std::nullopt;
}

void Instrument::setAnswer(const std::string& query, const std::string& answer) {
    std::string q = trim(query);
    for (auto& qa : answers)
        if (sameText(qa.first, q)) {
            qa.second = answer;
            return;
        }
    answers.emplace_back(q, answer);
}

Bench defaultBench() {
    Bench b;
    b[5].kind = Kind::Psu;
    b[22].kind = Kind::Dmm;
    return b;
}

bool parseFault(const std::string& name, Fault* fault) {
    static const std::pair<const char*, Fault> names[] = {
        {"none", Fault::None},     {"silent", Fault::Silent}, {"pieces", Fault::Pieces},
        {"lonelf", Fault::LoneLf}, {"crlf", Fault::CrLf},     {"overlong", Fault::Overlong},
        {"flood", Fault::Flood},   {"nul", Fault::Nul},       {"burst", Fault::Burst},
    };
    for (const auto& [n, f] : names)
        if (name == n) {
            *fault = f;
            return true;
        }
    return false;
}

bool parseBench(std::istream& in, const std::string& name, Bench* bench, std::string* err) {
    Bench b;
    std::string line;
    int lineNo = 0;
    auto fail = [&](const std::string& why) {
        *err = name + ":" + std::to_string(lineNo) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        lineNo++;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string keyword;
        std::string addrText;
        if (!(words >> keyword) || keyword[0] == '#') continue;
        int addr = 0;
        if (!(words >> addrText) || !parseInt(addrText, 0, kMaxAddress, &addr))
            return fail("address 0 to 30 expected after " + keyword);
        if (keyword == "instrument") {
            std::string kind;
            if (!(words >> kind)) return fail("kind expected: psu, dmm or generic");
            if (b.count(addr) != 0) return fail("address " + addrText + " used twice");
            Instrument inst;
            if (kind == "psu")
                inst.kind = Kind::Psu;
            else if (kind == "dmm")
                inst.kind = Kind::Dmm;
            else if (kind == "generic")
                inst.kind = Kind::Generic;
            else
                return fail("unknown kind " + kind);
            std::string opt;
            while (words >> opt) {
                if (opt.rfind("latency=", 0) == 0) {
                    if (!parseInt(opt.substr(8), 0, kMaxLatencyMs, &inst.latencyMs))
                        return fail("latency 0 to 60000 ms expected: " + opt);
                } else if (opt.rfind("fault=", 0) == 0) {
                    if (!parseFault(opt.substr(6), &inst.fault)) return fail("unknown " + opt);
                } else {
                    return fail("unknown option " + opt);
                }
            }
            b[addr] = std::move(inst);
        } else if (keyword == "answer") {
            std::string query;
            if (!(words >> query)) return fail("query expected");
            auto it = b.find(addr);
            if (it == b.end()) return fail("no instrument at address " + addrText);
            std::string rest;
            std::getline(words, rest);
            it->second.setAnswer(query, trim(rest));
        } else {
            return fail("unknown keyword " + keyword);
        }
    }
    *bench = std::move(b);
    return true;
}

bool loadBench(const std::string& path, Bench* bench, std::string* err) {
    std::ifstream f(path);
    if (!f) {
        *err = path + ": cannot be read";
        return false;
    }
    return parseBench(f, path, bench, err);
}

} // namespace qsim
