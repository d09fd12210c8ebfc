/* test-msg-queue.cpp: bounded ring buffer between threads */
#include "vorn-msg-queue.h"
#include "vorn-test-log.h"

#include <memory>

namespace {

/* Not pointer-sized, so positions advance by a size other than 8. */
struct Item {
  gint32 producer;
  gint32 seq;
  gint32 pad;
};

struct QueueDeleter {
  void operator() (VornMsgQueue *q) const { vorn_msg_queue_free (q); }
};
using QueuePtr = std::unique_ptr<VornMsgQueue, QueueDeleter>;

Item
pop_item (VornMsgQueue *q)
{
  Item it{-1, -1, -1};
  vorn_msg_queue_pop (q, &it);
  return it;
}

} // namespace

TEST (MsgQueue, CapacityFifoAndWrapAround)
{
  QueuePtr q (vorn_msg_queue_new (sizeof (Item), 3));
  ASSERT_TRUE (q);

  for (int i = 0; i < 3; i++)
    {
      Item it{0, i, 0};
      EXPECT_TRUE (vorn_msg_queue_push (q.get (), &it));
    }
  Item extra{0, 99, 0};
  EXPECT_FALSE (vorn_msg_queue_push (q.get (), &extra));
  EXPECT_FALSE (vorn_msg_queue_push_unlocked (q.get (), &extra));
  EXPECT_EQ (pop_item (q.get ()).seq, 0);
  Item three{0, 3, 0};
  EXPECT_TRUE (vorn_msg_queue_push (q.get (), &three));
  EXPECT_FALSE (vorn_msg_queue_push (q.get (), &extra));

  /* Fill levels that vary from fragment to fragment walk the positions
   * round the ring many times; the refused item must not appear. */
  int next_in = 4, next_out = 1;
  for (int round = 0; round < 50; round++)
    {
      int pops = 1 + round % 3;
      for (int i = 0; i < pops; i++)
        ASSERT_EQ (pop_item (q.get ()).seq, next_out++);
      for (int i = 0; i < pops; i++)
        {
          Item it{0, next_in++, 0};
          ASSERT_TRUE (vorn_msg_queue_push (q.get (), &it));
        }
    }

  Item out{};
  while (vorn_msg_queue_pop_unlocked (q.get (), &out))
    EXPECT_EQ (out.seq, next_out++);
  EXPECT_EQ (next_out, next_in);

  Item untouched{7, 8, 9};
  EXPECT_FALSE (vorn_msg_queue_pop_unlocked (q.get (), &untouched));
  EXPECT_TRUE (untouched.producer == 7 && untouched.seq == 8 && untouched.pad == 9);
}

/* Two producers feed a small queue while this thread pops, waiting whenever
 * it runs dry: each producer's items arrive exactly once and in order. */
TEST (MsgQueue, ProducersAndConsumer)
{
  constexpr int PER_PRODUCER = 5000;
  QueuePtr q (vorn_msg_queue_new (sizeof (Item), 4));
  struct Arg {
    VornMsgQueue *q;
    int id;
  } args[2] = {{q.get (), 0}, {q.get (), 1}};

  auto producer = [] (gpointer data) -> gpointer {
    auto *a = static_cast<Arg *> (data);
    for (int i = 0; i < PER_PRODUCER; i++)
      {
        Item it{a->id, i, 0};
        while (!vorn_msg_queue_push (a->q, &it))
          g_thread_yield ();
      }
    return nullptr;
  };
  GThread *threads[2] = {g_thread_new ("producer", producer, &args[0]),
                         g_thread_new ("producer", producer, &args[1])};

  int next[2] = {0, 0}, errors = 0;
  for (int i = 0; i < 2 * PER_PRODUCER; i++)
    {
      Item it = pop_item (q.get ());
      if (it.producer < 0 || it.producer > 1 || it.seq != next[it.producer]++)
        errors++;
    }
  g_thread_join (threads[0]);
  g_thread_join (threads[1]);
  EXPECT_EQ (errors, 0);
  EXPECT_EQ (next[0], PER_PRODUCER);
  Item none{};
  EXPECT_FALSE (vorn_msg_queue_pop_unlocked (q.get (), &none));
}
