// Search roots, "@" name resolution, the file index and ".saf" archives, the
// start-up log and the data-root test.
#include <dirent.h>
#include <spawn.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/alloc.h"
#include "core/ripemd160.h"
#include "core/util.h"
#include "core/vfs.h"
#include "platform/vesk_log.h"
#include "ui/console.h"
#include "ui/loading.h"

extern char** environ;

const char vfs_stock_archive_name[] = "zentrik.saf";
const char vfs_stock_archive_digest[] = "e5c0101dc6e57fe8a60700566875ab168dd91212";

namespace {

struct vfs_state {
    int32_t root_count = -1;       // -1 until the roots are computed
    char* roots[3];                // null-terminated
    int32_t data_root = -1;
    bool index_built = false;
    growable_array index{};        // vfs_index_entry, sorted
    const char** names = nullptr;  // distinct lookup names, null-terminated
};
vfs_state vfs;

// Turns "\" into "/" and collapses runs of "/", in place.
void normalise_slashes(char* path)
{
    char* out = path;
    for (const char* in = path; *in; in++) {
        char c = *in == '\\' ? '/' : *in;
        if (c == '/' && out > path && out[-1] == '/') continue;
        *out++ = c;
    }
    *out = 0;
}

char* root_from(const char* folder, const char* suffix)
{
    size_t n = strlen(folder) + strlen(suffix) + 2;
    char* root = static_cast<char*>(xmalloc(n));
    snprintf(root, n, "%s%s/", folder, suffix);
    normalise_slashes(root);
    return root;
}

void compute_roots()
{
    if (vfs.root_count >= 0) return;
    int n = 0;
    const char* xdg = getenv("XDG_DATA_HOME");
    const char* home = getenv("HOME");
    if (xdg && xdg[0] == '/')
        vfs.roots[n++] = root_from(xdg, "/Zentrik");
    else if (home && home[0])
        vfs.roots[n++] = root_from(home, "/.local/share/Zentrik");
    const char* zt_home = getenv("ZT_HOME");
    if (zt_home && zt_home[0]) {
        vfs.data_root = n;
        vfs.roots[n++] = root_from(zt_home, "");
    } else {
        char exe[PATH_MAX];
        ssize_t len = readlink("/proc/self/exe", exe, sizeof exe - 1);
        if (len > 0) {
            exe[len] = 0;
            char* slash = strrchr(exe, '/');
            if (slash) {
                slash[0] = 0;
                vfs.data_root = n;
                vfs.roots[n++] = root_from(exe, "");
            }
        }
    }
    vfs.roots[n] = nullptr;
    vfs.root_count = n;
}

// "@" names come from data files, demos and the race server: anything that
// could leave the roots is refused.
bool name_is_safe(const char* name)
{
    if (name[0] == '/' || name[0] == '\\') return false;
    const char* part = name;
    for (const char* p = name;; p++) {
        if (*p == '/' || *p == '\\' || *p == 0) {
            if (p - part == 2 && part[0] == '.' && part[1] == '.') return false;
            if (!*p) break;
            part = p + 1;
        }
    }
    return true;
}

// root + name into out; 0 when it does not fit.
int join_root(const char* root, const char* name, char* out, int size)
{
    int n = snprintf(out, size_t(size), "%s%s", root, name);
    if (n < 0 || n >= size) return 0;
    normalise_slashes(out);
    return 1;
}

bool entry_less(const vfs_index_entry& a, const vfs_index_entry& b)
{
    int c = strcasecmp(a.lookup, b.lookup);
    if (c != 0) return c < 0;
    if (a.priority != b.priority) return a.priority < b.priority;
    return strcmp(a.lookup, b.lookup) < 0;
}

void sort_index()
{
    vfs_index_entry* e = array_items<vfs_index_entry>(&vfs.index);
    std::stable_sort(e, e + vfs.index.count, entry_less);
}

void add_entry(char* name, const char* container, const char* lookup, int32_t offset, int32_t size,
               int32_t priority)
{
    vfs_index_entry entry{name, container ? container : name, lookup, offset, size, priority};
    if (!array_push(&vfs.index, &entry)) alloc_check_free(name);
}

char* copy_text(const char* text)
{
    size_t n = strlen(text) + 1;
    char* copy = static_cast<char*>(alloc_check_malloc(n));
    if (copy) memcpy(copy, text, n);
    return copy;
}

// Every regular file under folder. Symbolic links to folders are not
// followed, so a link loop cannot recurse for ever.
void walk_folder(const char* folder, size_t root_length, int32_t priority)
{
    loading_tick();
    DIR* dir = opendir(folder);
    if (!dir) return;
    while (dirent* d = readdir(dir)) {
        if (strcmp(d->d_name, ".") == 0 || strcmp(d->d_name, "..") == 0) continue;
        char path[4096];
        int n = snprintf(path, sizeof path, "%s%s", folder, d->d_name);
        if (n < 0 || size_t(n) >= sizeof path) continue;
        struct stat st;
        if (lstat(path, &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            if (size_t(n) + 2 > sizeof path) continue;
            path[n] = '/';
            path[n + 1] = 0;
            walk_folder(path, root_length, priority);
            continue;
        }
        if (S_ISLNK(st.st_mode) && stat(path, &st) != 0) continue;
        if (!S_ISREG(st.st_mode)) continue;
        if (st.st_size > INT32_MAX) {
            console_printf("File '%.400s' is too large for the file index", path);
            continue;
        }
        char* name = copy_text(path);
        if (!name) continue;
        add_entry(name, nullptr, name + root_length, 0, int32_t(st.st_size), priority);
    }
    closedir(dir);
}

// Reads one ".saf" directory: lines "size<sep>name", ended by "-"; the
// members follow back to back.
void read_archive(const char* archive, int32_t priority)
{
    loading_tick();
    if (!archive) return;
    FILE* f = fopen(archive, "rb");
    if (!f) return;
    struct stat st;
    int64_t file_size = fstat(fileno(f), &st) == 0 ? int64_t(st.st_size) : 0;
    // Members are placed once the directory length is known.
    struct pending {
        char* name;
        int64_t size;
    };
    growable_array members;
    array_init(&members, sizeof(pending));
    int64_t directory_length = 0;
    bool ended = false, reported = false;
    char line[1025];
    while (fgets(line, sizeof line, f)) {
        size_t n = strlen(line);
        directory_length += int64_t(n);
        if (n == 0 || line[n - 1] != '\n') {
            console_printf("Archive '%.400s': directory line without a line break", archive);
            reported = true;
            break;
        }
        line[--n] = 0;
        if (strcmp(line, "-") == 0) {
            ended = true;
            break;
        }
        if (!isdigit(static_cast<unsigned char>(line[0]))) {
            console_printf("Archive '%.400s': bad directory line '%.100s'", archive, line);
            reported = true;
            break;
        }
        int64_t size = 0;
        char* p = line;
        while (isdigit(static_cast<unsigned char>(*p))) {
            if (size <= INT32_MAX) size = size * 10 + (*p - '0');
            p++;
        }
        if (*p) p++; // the separator
        normalise_slashes(p);
        pending m{copy_text(p), size};
        if (!m.name || !array_push(&members, &m)) alloc_check_free(m.name);
    }
    fclose(f);
    int64_t offset = directory_length;
    pending* m = array_items<pending>(&members);
    for (int i = 0; i < members.count; i++) {
        int64_t start = offset;
        offset += m[i].size;
        if (m[i].name[0] == 0) {
            alloc_check_free(m[i].name);
            continue;
        }
        if (offset > file_size || offset > INT32_MAX) {
            console_printf("Archive '%.400s': member '%.200s' runs past the end", archive, m[i].name);
            alloc_check_free(m[i].name);
            continue;
        }
        add_entry(m[i].name, archive, m[i].name, int32_t(start), int32_t(m[i].size), priority);
    }
    array_free(&members);
    if (!ended && !reported) console_printf("Archive '%.400s': directory cut short", archive);
}

// The first index position whose lookup name equals name (case ignored).
int lower_bound_of(const char* name)
{
    vfs_index_entry* e = array_items<vfs_index_entry>(&vfs.index);
    int lo = 0, hi = vfs.index.count;
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        if (strcasecmp(e[mid].lookup, name) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// The winning entry for one name: the lowest priority, an exact-case match
// first among equals. Lookup names are stored with "/" alone and no runs of
// it, so the name asked for is tidied the same way first.
const vfs_index_entry* best_entry(const char* asked)
{
    if (!vfs.index_built) return nullptr;
    char name[vfs_path_max + 4];
    if (strlen(asked) >= sizeof name) return nullptr;
    copy_bounded(name, asked, sizeof name);
    normalise_slashes(name);
    vfs_index_entry* e = array_items<vfs_index_entry>(&vfs.index);
    int i = lower_bound_of(name);
    if (i >= vfs.index.count || strcasecmp(e[i].lookup, name) != 0) return nullptr;
    for (int j = i; j < vfs.index.count && e[j].priority == e[i].priority && strcasecmp(e[j].lookup, name) == 0; j++)
        if (strcmp(e[j].lookup, name) == 0) return &e[j];
    return &e[i];
}

void free_index()
{
    if (vfs.index.items) {
        vfs_index_entry* e = array_items<vfs_index_entry>(&vfs.index);
        for (int i = 0; i < vfs.index.count; i++) alloc_check_free(e[i].name);
        array_free(&vfs.index);
    }
    alloc_check_free(vfs.names);
    vfs.names = nullptr;
    vfs.index_built = false;
}

void make_folders(const char* path)
{
    char prefix[vfs_path_max];
    size_t n = strlen(path);
    if (n >= sizeof prefix) return;
    for (size_t i = 1; i <= n; i++) {
        if (path[i] != '/' && path[i] != 0) continue;
        memcpy(prefix, path, i);
        prefix[i] = 0;
        mkdir(prefix, 0777);
    }
}

} // namespace

const char* vfs_root(int i)
{
    compute_roots();
    if (i < 0 || i >= vfs.root_count) return nullptr;
    return vfs.roots[i];
}

int vfs_root_count()
{
    compute_roots();
    return vfs.root_count;
}

int vfs_data_root_index()
{
    compute_roots();
    return vfs.data_root;
}

int vfs_resolve_for_write(const char* name, char* out, int size)
{
    if (name[0] != '@') {
        if (int(strlen(name)) >= size) return 0;
        copy_bounded(out, name, size);
        return 1;
    }
    compute_roots();
    if (!name_is_safe(name + 1) || vfs.root_count == 0) return 0;
    return join_root(vfs.roots[0], name + 1, out, size);
}

int vfs_open_into(vfs_stream* stream, const char* name, const char* mode)
{
    if (name[0] != '@') {
        if (strlen(name) >= size_t(vfs_path_max)) return 0;
        return vfs_open_path(stream, name, mode);
    }
    const char* relative = name + 1;
    if (!name_is_safe(relative)) return 0;
    compute_roots();
    char path[vfs_path_max];
    for (int i = 0; i < vfs.root_count; i++) {
        if (!join_root(vfs.roots[i], relative, path, sizeof path)) continue;
        if (vfs_open_path(stream, path, mode)) return 1;
    }
    const char* m = mode[0] == '~' ? mode + 1 : mode;
    bool reading = strchr(m, 'r') && !strchr(m, '+');
    if (!reading || !vfs.index_built) return 0;
    int gzip = 0;
    const vfs_index_entry* e = vfs_index_find(relative, &gzip);
    if (!e) return 0;
    return vfs_open_member(stream, e->container, e->offset, e->size, gzip, m, e->lookup);
}

const vfs_index_entry* vfs_index_find(const char* name, int* gzip)
{
    *gzip = 0;
    char gz_name[vfs_path_max + 4];
    const vfs_index_entry* plain = best_entry(name);
    const vfs_index_entry* packed = nullptr;
    if (snprintf(gz_name, sizeof gz_name, "%s.gz", name) < int(sizeof gz_name)) packed = best_entry(gz_name);
    if (packed && (!plain || packed->priority < plain->priority)) {
        *gzip = 1;
        return packed;
    }
    return plain;
}

const char* const* vfs_build_index()
{
    if (vfs.index_built) return vfs.names;
    compute_roots();
    array_init(&vfs.index, sizeof(vfs_index_entry));
    vesk_log("Listing directories\n");
    for (int i = 0; i < vfs.root_count; i++) walk_folder(vfs.roots[i], strlen(vfs.roots[i]), i);
    sort_index();
    vesk_log("Listing archives\n");
    // Only the loose files found by the walk are archives: members named
    // "*.saf" are not read again.
    int loose = vfs.index.count;
    int32_t priority = vfs.root_count;
    for (int i = 0; i < loose; i++) {
        vfs_index_entry* e = array_items<vfs_index_entry>(&vfs.index) + i;
        size_t n = strlen(e->lookup);
        if (n > 4 && strcasecmp(e->lookup + n - 4, ".saf") == 0) read_archive(e->container, priority++);
    }
    sort_index();
    vesk_log("Creating file list\n");
    vfs_index_entry* e = array_items<vfs_index_entry>(&vfs.index);
    vfs.names = static_cast<const char**>(xmalloc(sizeof(char*) * (size_t(vfs.index.count) + 1)));
    int n = 0;
    for (int i = 0; i < vfs.index.count; i++)
        if (n == 0 || strcasecmp(vfs.names[n - 1], e[i].lookup) != 0) vfs.names[n++] = e[i].lookup;
    vfs.names[n] = nullptr;
    vfs.index_built = true;
    vesk_log("File index complete\n");
    return vfs.names;
}

int vfs_index_count() { return vfs.index_built ? vfs.index.count : 0; }

int vfs_index_entry_text(int i, char* buffer, int size)
{
    if (!vfs.index_built || i < 0 || i >= vfs.index.count || size <= 0) return 0;
    const vfs_index_entry& e = array_items<vfs_index_entry>(&vfs.index)[i];
    snprintf(buffer, size_t(size), "%s -> %s", e.lookup, e.container);
    return 1;
}

int vfs_exists(const char* name) { return best_entry(name) != nullptr; }

int open_startup_log()
{
    compute_roots();
    if (vfs.root_count > 0) {
        make_folders(vfs.roots[0]);
        // The log takes its file name from the first message itself. The
        // folder is the player's text, so it is an argument, never the format.
        vesk_log("VESK_LOGFILE=%slastlog.txt", vfs.roots[0]);
    }
    for (int i = 0; i < vfs.root_count; i++) {
        char path[vfs_path_max];
        if (!join_root(vfs.roots[i], vfs_stock_archive_name, path, sizeof path)) continue;
        FILE* f = fopen(path, "rb");
        if (!f) continue;
        ripemd160_ctx ctx;
        ripemd160_init(&ctx);
        uint8_t block[256];
        size_t total = 0, n;
        while (total < 1048576 && (n = fread(block, 1, sizeof block, f)) > 0) {
            ripemd160_update(&ctx, block, n);
            total += n;
        }
        fclose(f);
        ripemd160_final(&ctx);
        if (digest_hex_equal(vfs_stock_archive_digest, ctx.digest)) return 1;
    }
    return 0;
}

void vfs_open_home_folder()
{
    compute_roots();
    if (vfs.root_count == 0) return;
    make_folders(vfs.roots[0]);
    char folder[vfs_path_max];
    copy_bounded(folder, vfs.roots[0], sizeof folder);
    size_t n = strlen(folder);
    if (n > 1 && folder[n - 1] == '/') folder[n - 1] = 0;
    char* argv[] = {const_cast<char*>("xdg-open"), folder, nullptr};
    pid_t pid;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) == 0) {
        int status;
        waitpid(pid, &status, 0);
    } else {
        console_printf("Can't open the folder %.400s", folder);
    }
}

void tune_process_memory()
{
    uint64_t physical = uint64_t(sysconf(_SC_PHYS_PAGES)) * uint64_t(sysconf(_SC_PAGESIZE));
    if (physical < (64u << 20)) {
        vesk_log("Working set left alone - less than 64 MB physical memory\n");
        return;
    }
    // The kernel manages the resident set and raising the priority needs
    // privileges: both stay as they are.
    vesk_log("Working set left alone\n");
}

void vfs_shutdown()
{
    free_index();
    for (int i = 0; i < vfs.root_count; i++) alloc_check_free(vfs.roots[i]);
    vfs.roots[0] = nullptr;
    vfs.root_count = -1;
    vfs.data_root = -1;
}
