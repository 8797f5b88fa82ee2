#include "json/node_allocator.h"

#include <cstdlib>
#include <mutex>

#if defined(__SANITIZE_ADDRESS__)
#define OMBRELK_PLAIN_ALLOCATION 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OMBRELK_PLAIN_ALLOCATION 1
#endif
#endif

namespace ombrelk::detail {

#if defined(OMBRELK_PLAIN_ALLOCATION)

void* AllocateBlock(size_t bytes) { return std::malloc(bytes == 0 ? 1 : bytes); }
void FreeBlock(void* block, size_t) { std::free(block); }

#else

namespace {

// Size classes: 16-byte steps up to 256 bytes (classes 0..15), then powers
// of two up to 64 KiB (classes 16..23). Larger blocks bypass the lists.
constexpr int kClassCount = 24;
constexpr size_t kLargestClassBytes = 65536;

inline int ClassOf(size_t bytes) {
  if (bytes <= 256) return bytes == 0 ? 0 : static_cast<int>((bytes + 15) / 16) - 1;
  int log2 = 64 - __builtin_clzll(bytes - 1);  // ceil(log2(bytes)), >= 9
  return 16 + (log2 - 9);
}

inline size_t ClassBytes(int c) { return c < 16 ? static_cast<size_t>(c + 1) * 16 : size_t{512} << (c - 16); }

// Blocks kept on a thread's list before half of them go back to the
// process-wide list: about 256 KiB per class, at least 32 blocks.
inline uint32_t ThreadLimit(int c) {
  size_t n = (size_t{256} << 10) / ClassBytes(c);
  return static_cast<uint32_t>(n < 32 ? 32 : n);
}

struct FreeLink {
  FreeLink* next;
};

struct SharedClass {
  std::mutex mutex;
  FreeLink* head = nullptr;
  size_t count = 0;
};

struct SharedLists {
  SharedClass classes[kClassCount];
};

SharedLists& Shared() {
  // Never destroyed: threads may still free blocks while the process ends.
  static SharedLists* lists = new SharedLists;
  return *lists;
}

struct ThreadClass {
  FreeLink* head;
  uint32_t count;
};

// Trivially destructible, so it stays usable after the thread's exit
// handlers have run (then `retired` routes everything to the shared lists).
struct ThreadLists {
  ThreadClass classes[kClassCount];
  bool armed;
  bool retired;
};

thread_local ThreadLists t_lists;

void GiveBack(int c, FreeLink* head, FreeLink* tail, size_t count) {
  SharedClass& shared = Shared().classes[c];
  std::lock_guard<std::mutex> lock(shared.mutex);
  tail->next = shared.head;
  shared.head = head;
  shared.count += count;
}

void RetireThreadLists() {
  ThreadLists& lists = t_lists;
  for (int c = 0; c < kClassCount; ++c) {
    ThreadClass& tc = lists.classes[c];
    if (tc.head == nullptr) continue;
    FreeLink* tail = tc.head;
    while (tail->next != nullptr) tail = tail->next;
    GiveBack(c, tc.head, tail, tc.count);
    tc.head = nullptr;
    tc.count = 0;
  }
  lists.retired = true;
}

struct ThreadExit {
  bool registered = false;
  ~ThreadExit() { RetireThreadLists(); }
};
thread_local ThreadExit t_exit;

// The first use on a thread registers the handler that hands its lists back
// when the thread ends.
inline void Arm(ThreadLists& lists) {
  if (!lists.armed) {
    lists.armed = true;
    t_exit.registered = true;
  }
}

// Takes a batch from the shared list, or carves a new slab.
bool Refill(int c, ThreadClass& tc) {
  SharedClass& shared = Shared().classes[c];
  size_t size = ClassBytes(c);
  {
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (shared.head != nullptr) {
      uint32_t want = ThreadLimit(c) / 2;
      FreeLink* head = shared.head;
      FreeLink* tail = head;
      uint32_t taken = 1;
      while (taken < want && tail->next != nullptr) {
        tail = tail->next;
        ++taken;
      }
      shared.head = tail->next;
      shared.count -= taken;
      tail->next = tc.head;
      tc.head = head;
      tc.count += taken;
      return true;
    }
  }
  size_t slab_bytes = size * 16 > (size_t{64} << 10) ? size * 16 : (size_t{64} << 10);
  char* slab = static_cast<char*>(std::malloc(slab_bytes));
  if (slab == nullptr) return false;
  size_t blocks = slab_bytes / size;
  for (size_t k = blocks; k-- > 0;) {
    FreeLink* link = reinterpret_cast<FreeLink*>(slab + k * size);
    link->next = tc.head;
    tc.head = link;
  }
  tc.count += static_cast<uint32_t>(blocks);
  return true;
}

}  // namespace

void* AllocateBlock(size_t bytes) {
  if (bytes > kLargestClassBytes) return std::malloc(bytes);
  int c = ClassOf(bytes);
  ThreadLists& lists = t_lists;
  if (lists.retired) {
    // The thread is ending: take from the shared list directly.
    SharedClass& shared = Shared().classes[c];
    {
      std::lock_guard<std::mutex> lock(shared.mutex);
      if (shared.head != nullptr) {
        FreeLink* link = shared.head;
        shared.head = link->next;
        --shared.count;
        return link;
      }
    }
    return std::malloc(ClassBytes(c));  // leaves with the slabs; never freed
  }
  Arm(lists);
  ThreadClass& tc = lists.classes[c];
  if (tc.head == nullptr && !Refill(c, tc)) return nullptr;
  FreeLink* link = tc.head;
  tc.head = link->next;
  --tc.count;
  return link;
}

void FreeBlock(void* block, size_t bytes) {
  if (block == nullptr) return;
  if (bytes > kLargestClassBytes) {
    std::free(block);
    return;
  }
  int c = ClassOf(bytes);
  FreeLink* link = static_cast<FreeLink*>(block);
  ThreadLists& lists = t_lists;
  if (lists.retired) {
    link->next = nullptr;
    GiveBack(c, link, link, 1);
    return;
  }
  Arm(lists);
  ThreadClass& tc = lists.classes[c];
  link->next = tc.head;
  tc.head = link;
  if (++tc.count <= ThreadLimit(c)) return;
  // Too many kept here: the older half goes back to the shared list.
  uint32_t keep = ThreadLimit(c) / 2;
  FreeLink* last_kept = tc.head;
  for (uint32_t k = 1; k < keep; ++k) last_kept = last_kept->next;
  FreeLink* head = last_kept->next;
  last_kept->next = nullptr;
  FreeLink* tail = head;
  size_t moved = 1;
  while (tail->next != nullptr) {
    tail = tail->next;
    ++moved;
  }
  tc.count = keep;
  GiveBack(c, head, tail, moved);
}

#endif  // OMBRELK_PLAIN_ALLOCATION

char16_t* AllocateText(int32_t length) {
  auto* text = static_cast<char16_t*>(AllocateBlock((static_cast<size_t>(length) + 1) * sizeof(char16_t)));
  if (text != nullptr) text[length] = 0;
  return text;
}

void FreeText(char16_t* text, int32_t length) {
  FreeBlock(text, (static_cast<size_t>(length) + 1) * sizeof(char16_t));
}

}  // namespace ombrelk::detail
