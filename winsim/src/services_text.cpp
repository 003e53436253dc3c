// The service database as text, the services.txt of a machine folder, read by the machine folder's
// section reader (text.h).
#include "services_internal.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace winsim {

namespace {

std::string Trim(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
    return std::string(text.substr(b, e - b));
}

const char* StateWord(DWORD state) {
    switch (state) {
    case SERVICE_RUNNING: return "running";
    case SERVICE_STOP_PENDING: return "stop-pending";
    default: return "stopped";
    }
}

std::string StartWord(const ServiceScript& s) {
    if (s.start == ServiceScript::Start::Runs) return "runs";
    return "fails " + std::to_string(s.startError);
}

std::string StopWord(const ServiceScript& s) {
    switch (s.stop) {
    case ServiceScript::Stop::AtOnce: return "at-once";
    case ServiceScript::Stop::AfterQueries: return "after " + std::to_string(s.stopQueries);
    case ServiceScript::Stop::Never: return "never";
    case ServiceScript::Stop::Refuses: return "refuses";
    }
    return "at-once";
}

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

bool ParseNumber(const std::string& text, DWORD* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (*end || v > 0xFFFFFFFFull || text[0] == '-') return false;
    *out = static_cast<DWORD>(v);
    return true;
}

bool ParseStart(const std::string& text, ServiceScript* s) {
    std::istringstream in(text);
    std::string word, code, extra;
    in >> word;
    if (word == "runs" && !(in >> extra)) {
        s->start = ServiceScript::Start::Runs;
        return true;
    }
    if (word != "fails") return false;
    s->start = ServiceScript::Start::Fails;
    s->startError = 1053;
    if (in >> code && !ParseNumber(code, &s->startError)) return false;
    return !(in >> extra) && s->startError != 0;
}

bool ParseStop(const std::string& text, ServiceScript* s) {
    std::istringstream in(text);
    std::string word, count, extra;
    in >> word;
    if (word == "after") {
        DWORD n = 0;
        if (!(in >> count) || !ParseNumber(count, &n)) return false;
        s->stop = ServiceScript::Stop::AfterQueries;
        s->stopQueries = n;
    } else if (word == "at-once") {
        s->stop = ServiceScript::Stop::AtOnce;
    } else if (word == "never") {
        s->stop = ServiceScript::Stop::Never;
    } else if (word == "refuses") {
        s->stop = ServiceScript::Stop::Refuses;
    } else {
        return false;
    }
    return !(in >> extra);
}

}  // namespace

std::string ServiceDatabase::SaveText() const {
    std::lock_guard<std::recursive_mutex> lock(ServicesLock());
    std::ostringstream out;
    out << "; The service control manager's database. Type, Start and ErrorControl are CreateService's\n"
           "; values; Dependencies are separated by '/', groups start with '+'. OnStart: runs | fails [ERROR];\n"
           "; OnStop: at-once | after N (status queries) | never | refuses.\n";
    std::set<std::string> written;
    for (const auto& e : impl_->services) {
        const auto& c = e->config;
        const ServiceScript script = impl_->Script(*e);
        std::string deps;
        for (const auto& d : c.dependencies) deps += (deps.empty() ? "" : "/") + d;
        out << "\n[service " << c.name << "]\n"
            << "DisplayName=" << c.displayName << "\n"
            << "Type=" << Hex(c.type) << "\n"
            << "Start=" << c.startType << "\n"
            << "ErrorControl=" << c.errorControl << "\n"
            << "ImagePath=" << c.imagePath << "\n";
        if (!c.group.empty()) out << "Group=" << c.group << "\n";
        if (!deps.empty()) out << "Dependencies=" << deps << "\n";
        if (!c.account.empty()) out << "Account=" << c.account << "\n";
        out << "State=" << StateWord(e->state) << "\n";
        if (e->state == SERVICE_STOP_PENDING) out << "PendingQueries=" << e->pendingQueries << "\n";
        if (e->exitCode) out << "ExitCode=" << e->exitCode << "\n";
        if (e->marked) out << "MarkedForDelete=yes\n";
        out << "OnStart=" << StartWord(script) << "\n"
            << "OnStop=" << StopWord(script) << "\n";
        written.insert(UpperAscii(c.name));
    }
    for (const auto& [upper, script] : impl_->scripts) {
        if (written.count(upper)) continue;
        out << "\n[script " << upper << "]\n"
            << "OnStart=" << StartWord(script) << "\n"
            << "OnStop=" << StopWord(script) << "\n";
    }
    return out.str();
}

bool ServiceDatabase::LoadText(std::string_view text, std::string* error) {
    const auto sections = ReadSectionText(text, error);
    if (!sections) return false;
    std::vector<std::shared_ptr<ServiceEntry>> services;
    std::map<std::string, ServiceScript> scripts;
    auto fail = [&](int line, const std::string& why) {
        if (error) *error = TextError(line, why);
        return false;
    };
    for (const auto& section : *sections) {
        const size_t space = section.name.find(' ');
        const std::string kind = section.name.substr(0, space);
        const std::string name = space == std::string::npos ? "" : Trim(section.name.substr(space + 1));
        if (kind != "service" && kind != "script")
            return fail(section.line, "sections are [service NAME] or [script NAME]");
        if (!ValidServiceName(name.c_str())) return fail(section.line, "'" + name + "' is not a valid service name");
        std::shared_ptr<ServiceEntry> current;
        if (kind == "service") {
            for (const auto& s : services)
                if (SameName(s->config.name, name)) return fail(section.line, "service " + name + " is listed twice");
            current = std::make_shared<ServiceEntry>();
            current->config.name = name;
            current->config.displayName = name;
            services.push_back(current);
        }
        ServiceScript& script = scripts[UpperAscii(name)];
        for (const auto& [key, value, line] : section.entries) {
            if (key == "OnStart") {
                if (!ParseStart(value, &script)) return fail(line, "OnStart is 'runs' or 'fails [ERROR]'");
                continue;
            }
            if (key == "OnStop") {
                if (!ParseStop(value, &script)) return fail(line, "OnStop is 'at-once', 'after N', 'never' or 'refuses'");
                continue;
            }
            if (!current) return fail(line, "a [script] section holds only OnStart and OnStop");
            auto& c = current->config;
            DWORD number = 0;
            if (key == "DisplayName") {
                c.displayName = value;
            } else if (key == "ImagePath") {
                c.imagePath = value;
            } else if (key == "Group") {
                c.group = value;
            } else if (key == "Account") {
                c.account = value;
            } else if (key == "Dependencies") {
                c.dependencies.clear();
                std::istringstream deps(value);
                std::string d;
                while (std::getline(deps, d, '/'))
                    if (!Trim(d).empty()) c.dependencies.push_back(Trim(d));
            } else if (key == "Type" || key == "Start" || key == "ErrorControl" || key == "PendingQueries" ||
                       key == "ExitCode") {
                if (!ParseNumber(value, &number)) return fail(line, key + " needs a number");
                if (key == "Type") c.type = number;
                if (key == "Start") c.startType = number;
                if (key == "ErrorControl") c.errorControl = number;
                if (key == "PendingQueries") current->pendingQueries = number;
                if (key == "ExitCode") current->exitCode = number;
            } else if (key == "State") {
                if (value == "running") current->state = SERVICE_RUNNING;
                else if (value == "stopped") current->state = SERVICE_STOPPED;
                else if (value == "stop-pending") current->state = SERVICE_STOP_PENDING;
                else return fail(line, "State is 'running', 'stopped' or 'stop-pending'");
            } else if (key == "MarkedForDelete") {
                if (value != "yes" && value != "no") return fail(line, "MarkedForDelete is 'yes' or 'no'");
                current->marked = value == "yes";
            } else {
                return fail(line, "unknown key '" + key + "'");
            }
        }
    }
    std::lock_guard<std::recursive_mutex> lock(ServicesLock());
    impl_->services = std::move(services);
    impl_->scripts = std::move(scripts);
    return true;
}

}  // namespace winsim
