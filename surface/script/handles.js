    // ---- handles on a selected object ---------------------------------------
    //
    // A selected picture (or another object, or a table) shows eight handles in a layer
    // of our own: a corner resizes it keeping its proportions, an edge one
    // side. The size goes into its width and height attributes, as the image
    // dialog writes them, in one step the engine's Undo takes back.

    const RESIZE_MARK = '\u0001qk-resize ';
    const HANDLE_SPOTS = [['nw', 0, 0], ['n', 0.5, 0], ['ne', 1, 0], ['e', 1, 0.5], ['se', 1, 1], ['s', 0.5, 1],
                          ['sw', 0, 1], ['w', 0, 0.5]];
    let handleLayer = null;
    let handlesFor = null;

    function layerStyle() {
        return 'position:absolute;left:0;top:0;width:0;height:0;z-index:2147483647';
    }

    function drawHandles() {
        const el = isControlSelected() ? controlEl : null;
        if (!el && !handleLayer)
            return;
        withQuiet(() => {
            if (!el) {
                handleLayer.remove();
                handleLayer = null;
                handlesFor = null;
                return;
            }
            if (!handleLayer || !handleLayer.isConnected) {
                handleLayer = document.createElement('qk-handles');
                ours.add(handleLayer);
                handleLayer.setAttribute('style', layerStyle());
                document.documentElement.appendChild(handleLayer);
            }
            handlesFor = el;
            handleLayer.textContent = '';
            const b = el.getBoundingClientRect();
            const sx = window.scrollX, sy = window.scrollY;
            for (const [edge, fx, fy] of HANDLE_SPOTS) {
                const h = document.createElement('qk-handle');
                h.setAttribute('data-edge', edge);
                h.setAttribute('style', 'position:absolute;box-sizing:border-box;width:7px;height:7px;' +
                               'background:#fff;border:1px solid #000;cursor:' + edge + '-resize;left:' +
                               Math.round(b.left + sx + fx * b.width - 3) + 'px;top:' +
                               Math.round(b.top + sy + fy * b.height - 3) + 'px');
                handleLayer.appendChild(h);
            }
        });
    }

    // The size while a handle is dragged: the edges moved, the corners
    // scaled in proportion, never below one pixel.
    function draggedSize(edge, w0, h0, dx, dy) {
        const sx = edge.includes('e') ? 1 : (edge.includes('w') ? -1 : 0);
        const sy = edge.includes('s') ? 1 : (edge.includes('n') ? -1 : 0);
        let w = w0 + sx * dx, h = h0 + sy * dy;
        if (sx && sy && w0 > 0 && h0 > 0) {
            const k = Math.max(w / w0, h / h0);
            w = w0 * k;
            h = h0 * k;
        }
        return {w: Math.max(1, Math.round(w)), h: Math.max(1, Math.round(h))};
    }

    // Elements whose size is written in width and height attributes.
    const SIZED_BY_ATTRIBUTES = new Set(['img', 'table', 'iframe', 'video', 'object', 'embed', 'canvas', 'applet',
                                         'input', 'marquee']);

    // The object again with its new size, put in its place as one edit. A
    // positioned block has its size in its style, set on the element itself
    // as its place is (its HTML inserted again would merge with its
    // neighbours).
    function applySize(el, size) {
        if (!SIZED_BY_ATTRIBUTES.has(el.localName)) {
            // The handles frame the border box; the style may size the content.
            const cs = getComputedStyle(el);
            const px = (name) => parseFloat(cs.getPropertyValue(name)) || 0;
            const inner = cs.boxSizing === 'border-box' ? {w: 0, h: 0} : {
                w: px('padding-left') + px('padding-right') + px('border-left-width') + px('border-right-width'),
                h: px('padding-top') + px('padding-bottom') + px('border-top-width') + px('border-bottom-width'),
            };
            el.style.width = Math.max(1, Math.round(size.w - inner.w)) + 'px';
            el.style.height = Math.max(1, Math.round(size.h - inner.h)) + 'px';
            flushMutations();
            selectControl(el);
            markDirty();
            schedulePush();
            return;
        }
        const copy = el.cloneNode(true);
        copy.setAttribute('width', String(size.w));
        copy.setAttribute('height', String(size.h));
        if (copy.style) {
            copy.style.removeProperty('width');
            copy.style.removeProperty('height');
            if (copy.getAttribute('style') === '')
                copy.removeAttribute('style');
        }
        const r = document.createRange();
        r.selectNode(el);
        restoreRange(r);
        flushMutations();
        const records = [];
        pasteRecords = records;
        try {
            document.execCommand('insertHTML', false, copy.outerHTML);
            flushMutations();
        } finally {
            pasteRecords = null;
        }
        dropEngineStyles(records, copy.outerHTML);
        let made = null;
        for (const rec of records)
            for (const n of rec.addedNodes)
                if (!made && n.isConnected && n.nodeType === Node.ELEMENT_NODE)
                    made = n.localName === copy.localName ? n : n.querySelector(copy.localName);
        if (made)
            selectControl(made);
        markDirty();
        schedulePush();
    }

    function startResize(e, handle) {
        const el = handlesFor;
        if (!el || !el.isConnected)
            return;
        const edge = handle.getAttribute('data-edge');
        const b = el.getBoundingClientRect();
        const x0 = e.clientX, y0 = e.clientY;
        let size = {w: Math.round(b.width), h: Math.round(b.height)};
        const outline = document.createElement('qk-handle');
        withQuiet(() => handleLayer.appendChild(outline));
        const show = () => {
            withQuiet(() => outline.setAttribute('style', 'position:absolute;box-sizing:border-box;' +
                'border:1px dashed #000;pointer-events:none;left:' + Math.round(b.left + window.scrollX) +
                'px;top:' + Math.round(b.top + window.scrollY) + 'px;width:' + size.w + 'px;height:' + size.h + 'px'));
            console.info(RESIZE_MARK + size.w + ' ' + size.h);
        };
        show();
        const move = (ev) => {
            ev.preventDefault();
            ev.stopImmediatePropagation();
            size = draggedSize(edge, b.width, b.height, ev.clientX - x0, ev.clientY - y0);
            show();
        };
        const up = (ev) => {
            ev.preventDefault();
            ev.stopImmediatePropagation();
            document.removeEventListener('mousemove', move, true);
            document.removeEventListener('mouseup', up, true);
            console.info(RESIZE_MARK);
            if (size.w !== Math.round(b.width) || size.h !== Math.round(b.height))
                applySize(el, size);
            else
                selectControl(el);
            drawHandles();
        };
        document.addEventListener('mousemove', move, true);
        document.addEventListener('mouseup', up, true);
    }

    document.addEventListener('mousedown', (e) => {
        const t = e.target;
        if (e.button !== 0 || !t)
            return;
        // A click on a table's own frame (its border, the space between its
        // cells) selects the table as a whole, handles and all.
        if (t.localName === 'table' && !e.altKey && !isOurs(t)) {
            e.preventDefault();
            e.stopImmediatePropagation();
            selectControl(t);
            schedulePush();
            return;
        }
        // A click on the edge of a positioned block selects the block.
        let positioned = isOurs(t) ? null : t;
        while (positioned && positioned !== document.body && !(positioned.style && positioned.style.position === 'absolute'))
            positioned = positioned.parentElement;
        if (positioned === document.body)
            positioned = null;
        if (positioned && positioned !== controlEl && !e.altKey && !CONTROL_TAGS.has(t.tagName)) {
            const b = positioned.getBoundingClientRect();
            const edge = Math.min(e.clientX - b.left, b.right - e.clientX, e.clientY - b.top, b.bottom - e.clientY);
            if (edge >= 0 && edge <= 4) {
                e.preventDefault();
                e.stopImmediatePropagation();
                selectControl(positioned);
                schedulePush();
                return;
            }
        }
        if (t.localName !== 'qk-handle' || !t.hasAttribute('data-edge'))
            return;
        e.preventDefault();
        e.stopImmediatePropagation();
        startResize(e, t);
    }, true);
    document.addEventListener('selectionchange', drawHandles);
    document.addEventListener('input', drawHandles);
    window.addEventListener('resize', drawHandles);
