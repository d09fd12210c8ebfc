/* vorn-thread-pit.cpp: pool of worker threads fed through two message queues */
#include "vorn-thread-pit.h"

#include "vorn-cpu.h"

namespace {

gpointer
worker_main (gpointer data)
{
  auto *pit = static_cast<VornThreadPit *> (data);

  /* Workers render audio: denormals must not slow them down, and the
   * control register is per thread. */
  vorn_util_set_ftz_daz ();
  return pit->func (pit);
}

void
start_workers (VornThreadPit *pit, int first, int count)
{
  for (int i = first; i < count; i++)
    pit->threads[i] = g_thread_new ("thread-pit", worker_main, pit);
}

/* Sends one stop signal per worker and joins them all.  The signals queue up
 * behind any work still waiting, which the workers finish first. */
void
stop_workers (VornThreadPit *pit)
{
  const gpointer stop = nullptr;

  for (int i = 0; i < pit->thread_count; i++)
    {
      /* Only possible when there are more workers than queue slots; the
       * workers drain the queue as they take their signals. */
      while (!vorn_msg_queue_push (pit->prey, &stop))
        g_usleep (100);
    }
  for (int i = 0; i < pit->thread_count; i++)
    {
      g_thread_join (pit->threads[i]);
      pit->threads[i] = nullptr;
    }
}

} // namespace

VornThreadPit *
vorn_thread_pit_new (GThreadFunc func, gpointer user_data, int threadCount,
                     int queue_size)
{
  g_return_val_if_fail (func != NULL, NULL);
  g_return_val_if_fail (threadCount > 0, NULL);
  g_return_val_if_fail (queue_size > 0, NULL);

  VornThreadPit *pit = g_slice_new0 (VornThreadPit);
  pit->prey = vorn_msg_queue_new (sizeof (gpointer), queue_size);
  pit->done = vorn_msg_queue_new (sizeof (gpointer), queue_size);
  pit->func = func;
  pit->user_data = user_data;
  pit->threads = g_new0 (GThread *, threadCount);
  pit->thread_count = threadCount;
  start_workers (pit, 0, threadCount);
  return pit;
}

void
vorn_thread_pit_set_count (VornThreadPit *pit, int count)
{
  g_return_if_fail (pit != NULL);
  g_return_if_fail (count > 0);

  if (count == pit->thread_count)
    return;

  if (count < pit->thread_count)
    {
      /* A NULL reaches whichever worker is free, so there is no way to stop
       * only some of them: stop all and start the wanted number afresh. */
      stop_workers (pit);
      pit->threads = g_renew (GThread *, pit->threads, count);
      start_workers (pit, 0, count);
    }
  else
    {
      pit->threads = g_renew (GThread *, pit->threads, count);
      start_workers (pit, pit->thread_count, count);
    }
  pit->thread_count = count;
}

void
vorn_thread_pit_free (VornThreadPit *pit)
{
  if (pit == nullptr)
    return;

  stop_workers (pit);
  g_free (pit->threads);
  vorn_msg_queue_free (pit->prey);
  vorn_msg_queue_free (pit->done);
  g_slice_free (VornThreadPit, pit);
}

gpointer
vorn_thread_pit_catch_prey (VornThreadPit *pit)
{
  g_return_val_if_fail (pit != NULL, NULL);

  gpointer item = nullptr;
  vorn_msg_queue_pop (pit->prey, &item);
  return item;
}

gpointer
vorn_thread_pit_wait_done (VornThreadPit *pit)
{
  g_return_val_if_fail (pit != NULL, NULL);

  gpointer item = nullptr;
  vorn_msg_queue_pop (pit->done, &item);
  return item;
}
