#include "json/node_allocator.h"

#include <mutex>

namespace ombrelk::detail {

#if !defined(OMBRELK_PLAIN_ALLOCATION)

thread_local constinit ThreadLists t_lists{};

namespace {

inline size_t ClassBytes(int c) { return c < 16 ? static_cast<size_t>(c + 1) * 16 : size_t{512} << (c - 16); }

// Blocks kept on a thread's list before half of them go back to the
// process-wide list: about 256 KiB per class, at least 32 blocks.
inline uint32_t ThreadLimit(int c) {
  size_t n = (size_t{256} << 10) / ClassBytes(c);
  return static_cast<uint32_t>(n < 32 ? 32 : n);
}

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

void GiveBack(int c, FreeLink* head, FreeLink* tail, size_t count) {
  SharedClass& shared = Shared().classes[c];
  std::lock_guard<std::mutex> lock(shared.mutex);
  tail->next = shared.head;
  shared.head = head;
  shared.count += count;
}

// Hands every list of the ending thread back; from then on the thread uses
// the process-wide lists directly.
void RetireThreadLists() {
  for (int c = 0; c < kClassCount; ++c) {
    ThreadClass& tc = t_lists.classes[c];
    tc.limit = 0;
    if (tc.head == nullptr) continue;
    FreeLink* tail = tc.head;
    while (tail->next != nullptr) tail = tail->next;
    GiveBack(c, tc.head, tail, tc.count);
    tc.head = nullptr;
    tc.count = 0;
  }
  t_lists.state = 2;
}

struct ThreadExit {
  bool registered = false;
  ~ThreadExit() { RetireThreadLists(); }
};
thread_local ThreadExit t_exit;

// The first use on a thread sets the limits and registers the handler that
// hands the lists back when the thread ends.
void SetUpThread() {
  t_lists.state = 1;
  t_exit.registered = true;
  for (int c = 0; c < kClassCount; ++c) t_lists.classes[c].limit = ThreadLimit(c);
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
    auto* link = reinterpret_cast<FreeLink*>(slab + k * size);
    link->next = tc.head;
    tc.head = link;
  }
  tc.count += static_cast<uint32_t>(blocks);
  return true;
}

// Taken straight from the shared list (the thread has ended).
void* TakeShared(int c) {
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
  return std::malloc(ClassBytes(c));  // joins the shared lists when freed
}

}  // namespace

void* AllocateSlow(size_t bytes) {
  if (bytes > kLargestClassBytes) return std::malloc(bytes);
  int c = ClassOf(bytes);
  if (t_lists.state == 0) SetUpThread();
  if (t_lists.state == 2) return TakeShared(c);
  ThreadClass& tc = t_lists.classes[c];
  if (tc.head == nullptr && !Refill(c, tc)) return nullptr;
  FreeLink* link = tc.head;
  tc.head = link->next;
  --tc.count;
  return link;
}

void FreeSlow(void* block, size_t bytes) {
  if (block == nullptr) return;
  if (bytes > kLargestClassBytes) {
    std::free(block);
    return;
  }
  int c = ClassOf(bytes);
  auto* link = static_cast<FreeLink*>(block);
  if (t_lists.state == 0) SetUpThread();
  if (t_lists.state == 2) {
    link->next = nullptr;
    GiveBack(c, link, link, 1);
    return;
  }
  ThreadClass& tc = t_lists.classes[c];
  link->next = tc.head;
  tc.head = link;
  if (++tc.count <= tc.limit) return;
  // Too many kept here: all but the newest half go back to the shared list.
  uint32_t keep = tc.limit / 2;
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
