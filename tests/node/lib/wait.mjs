// Small waiting helpers over a playwright page.
export const TIMEOUT = 5000;

// Waits until the element matching selector has text containing want.
export async function waitText(page, selector, want) {
  try {
    await page.waitForFunction(([s, w]) => {
      const el = document.querySelector(s);
      return !!el && el.textContent.includes(w);
    }, [selector, want], { timeout: TIMEOUT });
  } catch (e) {
    const got = await page.evaluate((s) => document.querySelector(s)?.textContent, selector);
    throw new Error(`${selector}: waited for ${JSON.stringify(want)}, has ${JSON.stringify(got)}`);
  }
}

export async function waitCount(page, selector, n) {
  try {
    await page.waitForFunction(([s, k]) => document.querySelectorAll(s).length === k, [selector, n], { timeout: TIMEOUT });
  } catch (e) {
    const got = await page.evaluate((s) => document.querySelectorAll(s).length, selector);
    throw new Error(`${selector}: waited for ${n} elements, has ${got}`);
  }
}

// Scrolls the timeline to its end over a number of frames: parts coming into
// view are laid out and make it taller, so one jump may not reach the end.
export function scrollTimelineToEnd(page, frames) {
  return page.evaluate(async (n) => {
    const w = document.getElementById('tlwrap');
    for (let i = 0; i < n; i++) {
      w.scrollTop = w.scrollHeight;
      await new Promise((r) => requestAnimationFrame(r));
    }
  }, frames);
}

export const visible = (page, selector) => page.locator(selector).isVisible();
export const text = (page, selector) => page.locator(selector).textContent();
